#include "fixed/FixedModeDialog.h"

#include "playback/AppState.h"
#include "playback/PlaybackObserver.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>

FixedModeDialog::FixedModeDialog(AppState& state, MidiOutput& output, PlaybackObserver& statusReporter,
                                 QWidget* parent)
    : QDialog(parent), m_statusReporter(statusReporter), m_state(state), m_output(output)
{
    setObjectName("fixedModeDialog");
    setWindowTitle("Fixed Mode");

    m_frequencySlider = new QSlider(Qt::Horizontal, this);
    m_frequencySlider->setObjectName("frequencySlider");
    m_frequencySlider->setRange(kFixedKeyLowest, kFixedKeyHighest);
    m_frequencySlider->setValue(kFixedStartKey);
    m_powerSlider = new QSlider(Qt::Horizontal, this);
    m_powerSlider->setObjectName("powerSlider");
    m_powerSlider->setRange(0, kFixedPowerHighest);
    m_powerSlider->setValue(kFixedPowerHighest);
    m_controls.setFrequencyPosition(m_frequencySlider->value());
    m_controls.setPowerPosition(m_powerSlider->value());

    auto* okButton = new QPushButton("OK", this);
    okButton->setObjectName("okButton");
    okButton->setDefault(true);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel("Frequency", this), 0, 0);
    grid->addWidget(m_frequencySlider, 0, 1);
    grid->addWidget(new QLabel("Power", this), 1, 0);
    grid->addWidget(m_powerSlider, 1, 1);
    grid->setColumnMinimumWidth(1, 240);
    if (const auto rig = state.rig(); rig && rig->coils.size() > 1) {
        m_coilBox = new QComboBox(this);
        m_coilBox->setObjectName("coilBox");
        for (const Coil& coil : rig->coils) {
            m_coilBox->addItem(QString::fromStdString(coil.name));
        }
        auto* coilLabel = new QLabel("&Coil", this);
        coilLabel->setObjectName("coilLabel");
        coilLabel->setBuddy(m_coilBox);
        grid->addWidget(coilLabel, 2, 0);
        grid->addWidget(m_coilBox, 2, 1);
    }
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(okButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);

    connect(m_frequencySlider, &QSlider::valueChanged, this,
            [this](int key) { m_controls.setFrequencyPosition(key); });
    connect(m_powerSlider, &QSlider::valueChanged, this, [this](int power) { m_controls.setPowerPosition(power); });
    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);

    if (m_coilBox != nullptr) {
        connect(m_coilBox, &QComboBox::currentIndexChanged, this, [this](int coil) {
            m_worker.stopAndJoin();
            startOn(static_cast<std::size_t>(std::max(coil, 0)));
        });
    }
    startOn(0);
}

void FixedModeDialog::startOn(std::size_t coil)
{
    m_controls.setRunning(true);
    if (m_state.controllerPort.load() >= 0 || m_state.rig()) {
        m_worker.start([this, coil](auto) { fixedModeThread(m_controls, m_state, m_output, *this, coil); });
    }
}

FixedModeDialog::~FixedModeDialog()
{
    m_worker.stopAndJoin();
}

void FixedModeDialog::done(int result)
{
    m_worker.stopAndJoin();
    QDialog::done(result);
}

void FixedModeDialog::keyPressEvent(QKeyEvent* event)
{
    // Only OK and the close box end fixed mode.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void FixedModeDialog::statusText(const std::string& text)
{
    m_statusReporter.statusText(text);
}

void FixedModeDialog::showPositions(int key, int power)
{
    m_shownKey.store(key);
    m_shownPower.store(power);
    if (!m_positionsPosted.exchange(true)) {
        QMetaObject::invokeMethod(this, "applyPositions", Qt::QueuedConnection);
    }
}

void FixedModeDialog::applyPositions()
{
    m_positionsPosted.store(false);
    // Power first, as the thread set it: each move is mirrored back into the
    // controls, where it matches what the thread already stored.
    m_powerSlider->setValue(m_shownPower.load());
    m_frequencySlider->setValue(m_shownKey.load());
}
