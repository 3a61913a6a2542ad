#include "fixed/OptionsDialog.h"

#include "fixed/TypedNumber.h"
#include "playback/PlaybackOptions.h"
#include "playback/VelocityCurve.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

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
    layout->addLayout(form);
    layout->addLayout(buttons);

    connect(okButton, &QPushButton::clicked, this, &OptionsDialog::storeAndAccept);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(loadButton, &QPushButton::clicked, this, &OptionsDialog::loadCurveFile);
}

void OptionsDialog::keyPressEvent(QKeyEvent* event)
{
    // Only Cancel and the close box end the dialog without storing.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
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

void OptionsDialog::storeAndAccept()
{
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
