#include "fixed/OptionsDialog.h"

#include "fixed/TypedNumber.h"
#include "song/PlaybackOptions.h"
#include "song/VelocityCurve.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <limits>

namespace {

QString chooseCurveFileWithSystemDialog(QWidget* parent)
{
    QFileDialog dialog(parent);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({"Text Files (*.txt)", "All Files (*.*)"});
    dialog.setDefaultSuffix("txt");
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().constFirst();
}

// Where a field starts while its limit is off: a small coil's figures, so
// that switching a limit on offers a value that makes sense.
constexpr double kDutyLimitWhenOff = 8.0;
constexpr int kMaxNoteWhenOff = 2000;

template <typename Spin, typename T>
void showLimit(QCheckBox* box, Spin* spin, const std::optional<T>& limit, T whenOff)
{
    box->setChecked(limit.has_value());
    spin->setValue(limit.value_or(whenOff));
    spin->setEnabled(limit.has_value());
    QObject::connect(box, &QCheckBox::toggled, spin, &QWidget::setEnabled);
}

template <typename Spin>
auto typedLimit(const QCheckBox* box, const Spin* spin) -> std::optional<decltype(spin->value())>
{
    return box->isChecked() ? std::optional(spin->value()) : std::nullopt;
}

}  // namespace

OptionsDialog::OptionsDialog(PlaybackOptions& options, CurveFileChooser chooser, QWidget* parent)
    : QDialog(parent), m_options(options), m_chooser(chooser ? std::move(chooser) : chooseCurveFileWithSystemDialog)
{
    setObjectName("optionsDialog");
    setWindowTitle("Options");

    m_channelEdit = new QLineEdit(QString::number(m_options.playChannel), this);
    m_channelEdit->setObjectName("channelEdit");
    m_channelNotesLine = new QLabel(this);
    m_channelNotesLine->setObjectName("channelNotesLine");
    m_channelNotesLine->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_channelNotesLine->setWordWrap(true);
    m_shiftLowNotesBox = new QCheckBox("Shift low notes up", this);
    m_shiftLowNotesBox->setObjectName("shiftLowNotesBox");
    m_shiftLowNotesBox->setChecked(m_options.shiftLowNotes != 0);
    m_lowerLimitEdit = new QLineEdit(QString::number(m_options.lowerLimit), this);
    m_lowerLimitEdit->setObjectName("lowerLimitEdit");
    m_customCurveBox = new QCheckBox("Custom velocity curve", this);
    m_customCurveBox->setObjectName("customCurveBox");
    m_customCurveBox->setChecked(m_options.customCurve != 0);

    // Every button takes Enter while it has the focus (auto-default); OK
    // takes it from everywhere else.
    auto* loadButton = new QPushButton("Load file...", this);
    loadButton->setObjectName("loadFileButton");
    auto* okButton = new QPushButton("OK", this);
    okButton->setObjectName("okButton");
    okButton->setDefault(true);
    auto* cancelButton = new QPushButton("Cancel", this);
    cancelButton->setObjectName("cancelButton");

    auto* form = new QFormLayout;
    form->addRow("Play notes on channel", m_channelEdit);
    form->addRow(m_channelNotesLine);
    form->addRow(m_shiftLowNotesBox);
    form->addRow("Lower limit", m_lowerLimitEdit);
    auto* curveRow = new QHBoxLayout;
    curveRow->addWidget(m_customCurveBox);
    curveRow->addStretch();
    curveRow->addWidget(loadButton);
    form->addRow(curveRow);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);

    auto* layout = new QVBoxLayout(this);
    m_layout = layout;
    layout->addLayout(form);
    addLimitsGroup(layout);
    layout->addLayout(buttons);

    connect(okButton, &QPushButton::clicked, this, &OptionsDialog::storeAndAccept);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(loadButton, &QPushButton::clicked, this, &OptionsDialog::loadCurveFile);
}

void OptionsDialog::addLimitsGroup(QVBoxLayout* layout)
{
    auto* group = new QGroupBox("Coil limits", this);
    group->setObjectName("coilLimitsGroup");
    const auto box = [group](const char* text, const char* name) {
        auto* made = new QCheckBox(text, group);
        made->setObjectName(name);
        return made;
    };
    const auto keySpin = [group](const char* name) {
        auto* made = new QSpinBox(group);
        made->setObjectName(name);
        made->setRange(0, 127);
        return made;
    };
    m_dutyLimitBox = box("Duty limit (%)", "dutyLimitBox");
    m_dutyLimitSpin = new QDoubleSpinBox(group);
    m_dutyLimitSpin->setObjectName("dutyLimitSpin");
    m_dutyLimitSpin->setDecimals(2);
    m_dutyLimitSpin->setRange(0.01, 100.0);
    m_dutyLimitSpin->setSingleStep(0.5);
    m_maxNoteBox = box("Maximum note length (ms)", "maxNoteBox");
    m_maxNoteSpin = new QSpinBox(group);
    m_maxNoteSpin->setObjectName("maxNoteSpin");
    m_maxNoteSpin->setRange(1, std::numeric_limits<int>::max());
    m_maxNoteSpin->setSingleStep(100);
    m_lowestKeyBox = box("Lowest key", "lowestKeyBox");
    m_lowestKeySpin = keySpin("lowestKeySpin");
    m_highestKeyBox = box("Highest key", "highestKeyBox");
    m_highestKeySpin = keySpin("highestKeySpin");
    m_limitsErrorLine = new QLabel(group);
    m_limitsErrorLine->setObjectName("limitsErrorLine");
    m_limitsErrorLine->hide();

    const CoilLimits& limits = m_options.coilLimits;
    showLimit(m_dutyLimitBox, m_dutyLimitSpin, limits.dutyLimitPercent, kDutyLimitWhenOff);
    // The field shows two decimals: a limit from the file with more keeps
    // its exact value unless the field is changed.
    m_shownDutyLimit = m_dutyLimitSpin->value();
    showLimit(m_maxNoteBox, m_maxNoteSpin, limits.maxNoteMs, kMaxNoteWhenOff);
    showLimit(m_lowestKeyBox, m_lowestKeySpin, limits.lowestKey, 0);
    showLimit(m_highestKeyBox, m_highestKeySpin, limits.highestKey, 127);

    auto* grid = new QGridLayout(group);
    const std::pair<QCheckBox*, QWidget*> rows[] = {{m_dutyLimitBox, m_dutyLimitSpin},
                                                    {m_maxNoteBox, m_maxNoteSpin},
                                                    {m_lowestKeyBox, m_lowestKeySpin},
                                                    {m_highestKeyBox, m_highestKeySpin}};
    int row = 0;
    for (const auto& [check, field] : rows) {
        grid->addWidget(check, row, 0);
        grid->addWidget(field, row, 1);
        ++row;
    }
    grid->addWidget(m_limitsErrorLine, row, 0, 1, 2);
    layout->addWidget(group);
}

std::optional<CoilLimits> OptionsDialog::typedLimits() const
{
    CoilLimits limits;
    limits.dutyLimitPercent = typedLimit(m_dutyLimitBox, m_dutyLimitSpin);
    if (limits.dutyLimitPercent && m_options.coilLimits.dutyLimitPercent && *limits.dutyLimitPercent == m_shownDutyLimit) {
        limits.dutyLimitPercent = m_options.coilLimits.dutyLimitPercent;
    }
    limits.maxNoteMs = typedLimit(m_maxNoteBox, m_maxNoteSpin);
    limits.lowestKey = typedLimit(m_lowestKeyBox, m_lowestKeySpin);
    limits.highestKey = typedLimit(m_highestKeyBox, m_highestKeySpin);
    if (limits.lowestKey && limits.highestKey && *limits.lowestKey > *limits.highestKey) {
        return std::nullopt;
    }
    return limits;
}

void OptionsDialog::showChannelNotes(const QString& text)
{
    m_channelNotesLine->setText(text);
    // A window does not grow by itself when a wrapped label needs more lines
    // than it had when the window was fitted; it is fitted to them here, at
    // its width, so the line that arrives after opening is shown whole. Before
    // the first show the window is fitted to its contents anyway.
    if (!isVisible()) {
        return;
    }
    layout()->activate();
    const int needed = heightForWidth(width());
    if (needed > height()) {
        resize(width(), needed);
    }
}

void OptionsDialog::leadToCoils(std::function<void()> openCoils)
{
    m_channelEdit->setEnabled(false);
    auto* line = new QLabel("With a rig file the channels belong to the coils, and so do the shift and the limits "
                            "of a coil that sets them; these are for the coils that leave them out.",
                            this);
    line->setObjectName("coilsLine");
    line->setWordWrap(true);
    auto* button = new QPushButton("&Coils...", this);
    button->setObjectName("coilsButton");
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, std::move(openCoils));
    auto* row = new QHBoxLayout;
    row->addWidget(line, 1);
    row->addWidget(button);
    m_layout->insertLayout(0, row);
}

void OptionsDialog::refuseLimits(const QString& why)
{
    m_limitsRefused = true;
    for (QWidget* field : std::initializer_list<QWidget*>{m_dutyLimitBox, m_dutyLimitSpin, m_maxNoteBox, m_maxNoteSpin,
                                                         m_lowestKeyBox, m_lowestKeySpin, m_highestKeyBox,
                                                         m_highestKeySpin}) {
        field->setEnabled(false);
    }
    m_limitsErrorLine->setWordWrap(true);
    m_limitsErrorLine->setText(why);
    m_limitsErrorLine->show();
}

void OptionsDialog::storeAndAccept()
{
    if (!m_limitsRefused) {
        const std::optional<CoilLimits> limits = typedLimits();
        if (!limits) {
            m_limitsErrorLine->setText("The lowest key is above the highest key.");
            m_limitsErrorLine->show();
            return;
        }
        m_options.coilLimits = *limits;
    }
    m_options.playChannel = typedNumber(m_channelEdit->text().toStdString());
    m_options.lowerLimit = typedNumber(m_lowerLimitEdit->text().toStdString());
    m_options.shiftLowNotes = m_shiftLowNotesBox->isChecked() ? 1 : 0;
    m_options.customCurve = m_customCurveBox->isChecked() ? 1 : 0;
    emit optionsChanged();
    accept();
}

void OptionsDialog::loadCurveFile()
{
    const QString path = m_chooser(this);
    if (path.isEmpty()) {
        return;
    }
    std::string error;
    if (!loadVelocityCurve(path.toStdString(), m_options, error)) {
        auto* box = new QMessageBox(QMessageBox::Warning, "Options", QString::fromStdString(error), QMessageBox::Ok,
                                    this);
        box->setObjectName("curveErrorBox");
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
        return;
    }
    emit optionsChanged();
}
