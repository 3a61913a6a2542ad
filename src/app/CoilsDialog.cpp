#include "app/CoilsDialog.h"

#include "app/GuiCalls.h"

#include "app/ChannelBoxes.h"
#include "coilmodel/CoilLimitsFile.h"
#include "midiout/Controller.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>

namespace {

// What a limit field shows at its lowest, where the coil leaves the limit to
// the limits file: "as coil-limits.conf (8.5)", or "(off)".
QString fromLimitsFile(const std::optional<std::string>& fileValue)
{
    return QString("as coil-limits.conf (%1)").arg(fileValue ? QString::fromStdString(*fileValue) : QString("off"));
}

QSpinBox* spinBox(QWidget* parent, const char* name, int lowest, int highest)
{
    auto* spin = new QSpinBox(parent);
    spin->setObjectName(name);
    spin->setRange(lowest, highest);
    return spin;
}

constexpr const char* kKeepNames[] = {"highest", "lowest", "latest"};

}  // namespace

CoilsDialog::CoilsDialog(CoilsEdit edit, const PlaybackOptions& fallback, const std::vector<std::string>& devices,
                         QWidget* parent)
    : QDialog(parent), m_edit(std::move(edit)), m_fallback(fallback)
{
    setObjectName("coilsDialog");
    setWindowTitle("Coils");
    buildFields();
    for (const std::string& device : devices) {
        if (m_deviceBox->findText(QString::fromStdString(device)) < 0) {
            m_deviceBox->addItem(QString::fromStdString(device));
        }
    }
    for (const EditedCoil& coil : m_edit.coils) {
        m_list->addItem(QString::fromStdString(coil.coil.name));
    }
    connect(m_list, &QListWidget::currentRowChanged, this, [this](int row) {
        storeShown();
        showCoil(row);
    });
    m_list->setCurrentRow(0);
    showSongChannels(std::nullopt);
}

CoilsDialog::~CoilsDialog()
{
    m_worker.stopAndJoin();
}

void CoilsDialog::surveySong(const std::string& path)
{
    m_worker.stopAndJoin();
    m_stop.store(false);
    m_worker.start([this, path, options = m_fallback](WorkerOwner::Generation generation) {
        auto channels = songChannels(path, options, &m_stop);
        m_calls.post([this, generation, channels = std::move(channels)] {
                if (m_worker.joinEnded(generation) && channels) {
                    showSongChannels(channels);
                }
            });
    });
}

void CoilsDialog::buildFields()
{
    m_list = new QListWidget(this);
    m_list->setObjectName("coilList");
    auto* listLabel = new QLabel("&Coils", this);
    listLabel->setBuddy(m_list);
    auto* addButton = new QPushButton("&Add", this);
    addButton->setObjectName("addCoilButton");
    addButton->setAutoDefault(false);
    m_removeButton = new QPushButton("&Remove", this);
    m_removeButton->setObjectName("removeCoilButton");
    m_removeButton->setAutoDefault(false);
    auto* listButtons = new QHBoxLayout;
    listButtons->addWidget(addButton);
    listButtons->addWidget(m_removeButton);
    auto* left = new QVBoxLayout;
    left->addWidget(listLabel);
    left->addWidget(m_list);
    left->addLayout(listButtons);

    m_nameEdit = new QLineEdit(this);
    m_nameEdit->setObjectName("coilNameEdit");
    m_deviceBox = new QComboBox(this);
    m_deviceBox->setObjectName("deviceBox");
    m_deviceBox->setEditable(true);
    m_deviceBox->setInsertPolicy(QComboBox::NoInsert);
    m_deviceBox->setMinimumContentsLength(24);
    auto* channels = new QGroupBox("Channels", this);
    channels->setObjectName("channelsGroup");
    m_channelBoxes = makeChannelBoxes(channels);
    m_voicesSpin = spinBox(this, "voicesSpin", 0, 16);
    m_voicesSpin->setSpecialValueText("every note");
    m_keepBox = new QComboBox(this);
    m_keepBox->setObjectName("keepBox");
    for (const char* name : kKeepNames) {
        m_keepBox->addItem(name);
    }
    m_transposeSpin = spinBox(this, "transposeSpin", -48, 48);
    m_transposeSpin->setSuffix(" semitones");
    m_shiftBox = new QCheckBox("&Shift low notes up", this);
    m_shiftBox->setObjectName("coilShiftBox");
    m_lowerLimitSpin = spinBox(this, "coilLowerLimitSpin", 0, 127);
    m_volumeSpin = spinBox(this, "volumeShareSpin", 1, 100);
    m_volumeSpin->setSuffix(" %");
    m_dutySpin = new QDoubleSpinBox(this);
    m_dutySpin->setObjectName("coilDutySpin");
    m_dutySpin->setDecimals(2);
    m_dutySpin->setRange(0.0, 100.0);
    m_dutySpin->setSingleStep(0.5);
    const CoilLimits& file = m_fallback.coilLimits;
    m_dutySpin->setSpecialValueText(fromLimitsFile(coilLimitText(file, "duty_limit_percent")));
    m_maxNoteSpin = spinBox(this, "coilMaxNoteSpin", 0, std::numeric_limits<int>::max());
    m_maxNoteSpin->setSingleStep(100);
    m_maxNoteSpin->setSpecialValueText(fromLimitsFile(coilLimitText(file, "max_note_ms")));
    m_lowestKeySpin = spinBox(this, "coilLowestKeySpin", -1, 127);
    m_lowestKeySpin->setSpecialValueText(fromLimitsFile(coilLimitText(file, "lowest_key")));
    m_highestKeySpin = spinBox(this, "coilHighestKeySpin", -1, 127);
    m_highestKeySpin->setSpecialValueText(fromLimitsFile(coilLimitText(file, "highest_key")));

    // Name and device over the channels, the other fields beside them: the
    // dialog fits a small screen.
    auto* top = new QFormLayout;
    auto* form = new QFormLayout;
    const std::pair<const char*, QWidget*> rows[] = {
        {"&Name", m_nameEdit},
        {"&Device", m_deviceBox},
        {"&Voices", m_voicesSpin},
        {"&Keep", m_keepBox},
        {"&Transpose", m_transposeSpin},
        {nullptr, m_shiftBox},
        {"&Lower limit", m_lowerLimitSpin},
        {"Vol&ume share", m_volumeSpin},
        {"Dut&y limit (%)", m_dutySpin},
        {"&Maximum note length (ms)", m_maxNoteSpin},
        {"Lo&west key", m_lowestKeySpin},
        {"&Highest key", m_highestKeySpin},
    };
    for (const auto& [text, field] : rows) {
        QFormLayout* into = field == m_nameEdit || field == m_deviceBox ? top : form;
        if (text == nullptr) {
            into->addRow(field);
        } else {
            into->addRow(text, field);
        }
    }
    auto* fields = new QHBoxLayout;
    fields->addWidget(channels);
    fields->addLayout(form);
    auto* right = new QVBoxLayout;
    right->addLayout(top);
    right->addLayout(fields);
    right->addStretch();

    auto* columns = new QHBoxLayout;
    columns->addLayout(left);
    columns->addLayout(right, 1);

    m_errorLine = new QLabel(this);
    m_errorLine->setObjectName("rigErrorLine");
    m_errorLine->setWordWrap(true);
    m_errorLine->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_errorLine->hide();
    auto* okButton = new QPushButton("&OK", this);
    okButton->setObjectName("okButton");
    okButton->setDefault(true);
    auto* cancelButton = new QPushButton("Canc&el", this);
    cancelButton->setObjectName("cancelButton");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns);
    layout->addWidget(m_errorLine);
    layout->addLayout(buttons);

    connect(m_nameEdit, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (QListWidgetItem* item = m_list->currentItem()) {
            item->setText(text.trimmed());
        }
    });
    connect(addButton, &QPushButton::clicked, this, &CoilsDialog::addCoil);
    connect(m_removeButton, &QPushButton::clicked, this, &CoilsDialog::removeCoil);
    connect(okButton, &QPushButton::clicked, this, &CoilsDialog::writeAndAccept);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void CoilsDialog::showSongChannels(const std::optional<std::array<SongChannel, 16>>& channels)
{
    labelChannelBoxes(m_channelBoxes, channels);
}

void CoilsDialog::showCoil(int row)
{
    m_shown = -1;
    if (row < 0 || static_cast<std::size_t>(row) >= m_edit.coils.size()) {
        return;
    }
    const Coil& coil = m_edit.coils[static_cast<std::size_t>(row)].coil;
    m_nameEdit->setText(QString::fromStdString(coil.name));
    m_deviceBox->setEditText(QString::fromStdString(coil.device));
    for (int channel = 0; channel < 16; ++channel) {
        m_channelBoxes[static_cast<std::size_t>(channel)]->setChecked(coil.channels.has(channel));
    }
    m_voicesSpin->setValue(coil.voices.value_or(0));
    m_keepBox->setCurrentIndex(static_cast<int>(coil.keep));
    m_transposeSpin->setValue(coil.transpose);
    m_shiftBox->setChecked(coil.shiftLowNotes.value_or(m_fallback.shiftLowNotes != 0));
    m_lowerLimitSpin->setValue(coil.lowerLimit.value_or(std::clamp(m_fallback.lowerLimit, 0, 127)));
    m_volumeSpin->setValue(coil.volumePercent);
    m_dutySpin->setValue(coil.limits.dutyLimitPercent.value_or(0.0));
    m_maxNoteSpin->setValue(coil.limits.maxNoteMs.value_or(0));
    m_lowestKeySpin->setValue(coil.limits.lowestKey.value_or(-1));
    m_highestKeySpin->setValue(coil.limits.highestKey.value_or(-1));
    m_removeButton->setEnabled(m_edit.coils.size() > 1);
    m_shown = row;
}

void CoilsDialog::storeShown()
{
    if (m_shown < 0 || static_cast<std::size_t>(m_shown) >= m_edit.coils.size()) {
        return;
    }
    Coil& coil = m_edit.coils[static_cast<std::size_t>(m_shown)].coil;
    coil.name = m_nameEdit->text().trimmed().toStdString();
    coil.device = m_deviceBox->currentText().trimmed().toStdString();
    coil.channels = {};
    for (int channel = 0; channel < 16; ++channel) {
        if (m_channelBoxes[static_cast<std::size_t>(channel)]->isChecked()) {
            coil.channels = coil.channels.with(channel);
        }
    }
    coil.voices = m_voicesSpin->value() > 0 ? std::optional(m_voicesSpin->value()) : std::nullopt;
    coil.keep = static_cast<KeepMode>(m_keepBox->currentIndex());
    coil.transpose = m_transposeSpin->value();
    // Left to the Options while it shows their value.
    const bool shift = m_shiftBox->isChecked();
    if (coil.shiftLowNotes || shift != (m_fallback.shiftLowNotes != 0)) {
        coil.shiftLowNotes = shift;
    }
    const int lowerLimit = m_lowerLimitSpin->value();
    if (coil.lowerLimit || lowerLimit != std::clamp(m_fallback.lowerLimit, 0, 127)) {
        coil.lowerLimit = lowerLimit;
    }
    coil.volumePercent = m_volumeSpin->value();
    // A percent with more decimals than the field shows stays as it was
    // unless the field is changed.
    const double duty = m_dutySpin->value();
    const bool dutyAsShown = coil.limits.dutyLimitPercent &&
                             duty == QString::number(*coil.limits.dutyLimitPercent, 'f', 2).toDouble();
    if (!dutyAsShown) {
        coil.limits.dutyLimitPercent = duty > 0.0 ? std::optional(duty) : std::nullopt;
    }
    const auto limit = [](const QSpinBox* spin) {
        return spin->value() > spin->minimum() ? std::optional(spin->value()) : std::nullopt;
    };
    coil.limits.maxNoteMs = limit(m_maxNoteSpin);
    coil.limits.lowestKey = limit(m_lowestKeySpin);
    coil.limits.highestKey = limit(m_highestKeySpin);
}

std::vector<EditedCoil> CoilsDialog::coils()
{
    storeShown();
    return m_edit.coils;
}

void CoilsDialog::addCoil()
{
    storeShown();
    Coil coil;
    coil.name = newCoilName(m_edit.coils);
    coil.device = kControllerName;
    m_edit.coils.push_back({coil, std::nullopt});
    m_list->addItem(QString::fromStdString(coil.name));
    m_list->setCurrentRow(m_list->count() - 1);
    m_nameEdit->setFocus(Qt::OtherFocusReason);
    m_nameEdit->selectAll();
}

void CoilsDialog::removeCoil()
{
    const int row = m_list->currentRow();
    if (row < 0 || m_edit.coils.size() < 2) {
        return;
    }
    m_shown = -1;
    m_edit.coils.erase(m_edit.coils.begin() + row);
    delete m_list->takeItem(row);
    m_list->setCurrentRow(std::min(row, m_list->count() - 1));
}

void CoilsDialog::writeAndAccept()
{
    const std::string text = rigFileWith(m_edit.text, m_edit.before, coils());
    std::string error;
    if (!writeRig(m_edit.path, text, m_fallback.coilLimits, error)) {
        m_errorLine->setText(QString::fromStdString(error + kLimitsFileKeptText));
        m_errorLine->show();
        return;
    }
    emit rigWritten();
    accept();
}
