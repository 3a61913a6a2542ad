#include "fixed/FixedModeDialog.h"

#include "playback/AppState.h"
#include "playback/PlaybackObserver.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
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
    m_frequencyEdit = new QLineEdit(this);
    m_frequencyEdit->setObjectName("frequencyEdit");
    m_frequencyEdit->setToolTip("Type a frequency in Hz or a key's name (A4), then Enter");
    m_frequencyEdit->installEventFilter(this);
    m_powerValue = new QLabel(this);
    m_powerValue->setObjectName("powerValue");
    showFrequency(m_frequencySlider->value());
    showPower();

    auto* okButton = new QPushButton("OK", this);
    okButton->setObjectName("okButton");
    okButton->setDefault(true);
    auto* againButton = new QPushButton("Sound &again", this);
    againButton->setObjectName("soundAgainButton");
    againButton->setAutoDefault(false);
    againButton->setToolTip("Sound the tone again after the maximum note length cut it (Alt+A)");

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel("Frequency", this), 0, 0);
    grid->addWidget(m_frequencySlider, 0, 1);
    grid->addWidget(m_frequencyEdit, 0, 2);
    grid->addWidget(new QLabel("Power", this), 1, 0);
    grid->addWidget(m_powerSlider, 1, 1);
    grid->addWidget(m_powerValue, 1, 2);
    grid->setColumnMinimumWidth(1, 240);
    grid->setColumnMinimumWidth(2, m_frequencyEdit->fontMetrics().horizontalAdvance("0000 Hz C#4, velocity 127"));
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
    buttons->addWidget(againButton);
    buttons->addStretch();
    buttons->addWidget(okButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);

    connect(m_frequencySlider, &QSlider::valueChanged, this, [this](int key) {
        m_controls.setFrequencyPosition(key);
        showFrequency(key);
    });
    connect(m_powerSlider, &QSlider::valueChanged, this, [this](int power) {
        m_controls.setPowerPosition(power);
        showPower();
    });
    connect(m_frequencyEdit, &QLineEdit::editingFinished, this, &FixedModeDialog::takeTypedFrequency);
    connect(againButton, &QPushButton::clicked, this, [this] { m_controls.requestAgain(); });
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

bool FixedModeDialog::eventFilter(QObject* watched, QEvent* event)
{
    // Enter in the frequency field takes the frequency; it does not press OK.
    if (watched == m_frequencyEdit && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            takeTypedFrequency();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void FixedModeDialog::takeTypedFrequency()
{
    if (const auto key = typedFrequencyKey(m_frequencyEdit->text().toStdString())) {
        m_frequencySlider->setValue(*key);
    }
    showFrequency(m_frequencySlider->value());
}

void FixedModeDialog::showFrequency(int key)
{
    m_frequencyEdit->setText(QString::fromStdString(fixedFrequencyText(key)));
}

void FixedModeDialog::showPower()
{
    const int velocity = m_velocity.load();
    m_powerValue->setText(velocity < 0 ? QString("%1, silent").arg(m_powerSlider->value())
                                       : QString("%1, velocity %2").arg(m_powerSlider->value()).arg(velocity));
}

void FixedModeDialog::velocitySent(std::optional<int> velocity)
{
    m_velocity.store(velocity.value_or(-1));
    if (!m_velocityPosted.exchange(true)) {
        QMetaObject::invokeMethod(this, "applyVelocity", Qt::QueuedConnection);
    }
}

void FixedModeDialog::applyVelocity()
{
    m_velocityPosted.store(false);
    showPower();
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
