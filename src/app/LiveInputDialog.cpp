#include "app/LiveInputDialog.h"

#include "app/GuiCalls.h"

#include "app/VolumeSlider.h"
#include "live/LiveNote.h"
#include "playback/AppState.h"
#include "playback/PlaybackObserver.h"
#include "playback/PlaybackSession.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

LiveInputDialog::LiveInputDialog(AppState& state, PlaybackObserver& statusReporter, MidiInputService& inputs,
                                 int volumePosition, QWidget* parent)
    : QDialog(parent), m_state(state), m_statusReporter(statusReporter), m_inputs(inputs)
{
    setObjectName("liveInputDialog");
    setWindowTitle("Live Input");

    m_inputBox = new QComboBox(this);
    m_inputBox->setObjectName("inputBox");
    m_inputBox->setMinimumContentsLength(24);
    auto* refreshButton = new QPushButton("Refresh", this);
    refreshButton->setObjectName("refreshButton");
    m_channelBox = new QComboBox(this);
    m_channelBox->setObjectName("channelBox");
    m_channelBox->addItem("All channels", LiveForwarder::kAllChannels);
    for (int channel = 0; channel < 16; ++channel) {
        m_channelBox->addItem(QString::number(channel), channel);
    }
    m_volumeSlider = new VolumeSlider(this);
    m_volumeSlider->setObjectName("liveVolumeSlider");
    m_volumeSlider->setRange(0, kSliderHighest);
    m_volumeSlider->setValue(volumePosition);
    m_volumeSlider->setToolTip("Volume");
    m_noteLine = new QLabel("No note played yet", this);
    m_noteLine->setObjectName("noteLine");
    m_noteLine->setMinimumWidth(300);
    auto* closeButton = new QPushButton("Close", this);
    closeButton->setObjectName("closeButton");

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel("Input device", this), 0, 0);
    grid->addWidget(m_inputBox, 0, 1);
    grid->addWidget(refreshButton, 0, 2);
    grid->addWidget(new QLabel("Input channel", this), 1, 0);
    grid->addWidget(m_channelBox, 1, 1);
    auto* volumeColumn = new QVBoxLayout;
    auto* volumeLabel = new QLabel("Volume", this);
    volumeLabel->setAlignment(Qt::AlignHCenter);
    volumeColumn->addWidget(volumeLabel);
    volumeColumn->addWidget(m_volumeSlider, 1, Qt::AlignHCenter);
    auto* top = new QHBoxLayout;
    top->addLayout(grid, 1);
    top->addLayout(volumeColumn);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_noteLine, 1);
    bottom->addWidget(closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(bottom);

    refresh();
    connect(refreshButton, &QPushButton::clicked, this, [this] {
        refresh();
        restart();
    });
    connect(m_inputBox, &QComboBox::activated, this, [this] { restart(); });
    connect(m_channelBox, &QComboBox::activated, this, [this] { restart(); });
    connect(m_volumeSlider, &QSlider::valueChanged, this, [this](int position) {
        if (m_session) {
            m_session->setVolume(kSliderHighest - position);
        }
    });
    connect(closeButton, &QPushButton::clicked, this, &QDialog::accept);
    restart();
}

LiveInputDialog::~LiveInputDialog()
{
    stopSession();
}

void LiveInputDialog::done(int result)
{
    stopSession();
    QDialog::done(result);
}

void LiveInputDialog::refresh()
{
    stopSession();
    const QString chosen = m_inputBox->currentText();
    m_inputBox->clear();
    const int count = m_inputs.deviceCount();
    for (int index = 0; index < count; ++index) {
        m_inputBox->addItem(QString::fromStdString(m_inputs.productName(index)), index);
    }
    const int again = m_inputBox->findText(chosen);
    m_inputBox->setCurrentIndex(again >= 0 ? again : 0);
}

void LiveInputDialog::restart()
{
    stopSession();
    if (m_inputBox->count() == 0) {
        showLine(kNoInputDevicesText);
        return;
    }
    m_session = std::make_unique<LiveSession>(m_state, static_cast<LiveObserver&>(*this), m_inputs, m_inputBox->currentData().toInt(),
                                              m_channelBox->currentData().toInt());
    switch (m_session->start(kSliderHighest - m_volumeSlider->value())) {
    case LiveSession::Start::ControllerFailed:
        showLine(QString::fromStdString(m_session->startError()));
        m_session.reset();
        return;
    case LiveSession::Start::InputFailed:
        m_session.reset();
        showLine(kCannotOpenInputText);
        return;
    case LiveSession::Start::Started:
        break;
    }
    m_noteLine->setText("No note played yet");
    m_worker.start([this, session = m_session.get()](WorkerOwner::Generation generation) {
        const LiveEnd end = session->run();
        if (end != LiveEnd::Stopped) {
            m_calls.post([this, generation, end] { sessionEnded(generation, end); });
        }
    });
}

void LiveInputDialog::stopSession()
{
    m_worker.stopAndJoin();
    m_session.reset();
}

void LiveInputDialog::showLine(const QString& text)
{
    m_noteLine->setText(text);
    m_statusReporter.statusText(text.toStdString());
}

void LiveInputDialog::sessionEnded(WorkerOwner::Generation generation, LiveEnd end)
{
    if (!m_worker.joinEnded(generation)) {
        return;
    }
    const std::string text = end == LiveEnd::InputLost ? std::string(kInputLostText) : m_session->lostText();
    m_session.reset();
    showLine(QString::fromStdString(text));
}

void LiveInputDialog::limitsActed(const CoilLimitCounts& counts)
{
    m_statusReporter.limitsActed(counts);
}

void LiveInputDialog::notePlayed(int key, double duty)
{
    const std::lock_guard lock(m_noteMutex);
    m_lastNote = {key, duty};
    if (!m_notePosted) {
        m_notePosted = true;
        m_calls.post([this] { showNote(); });
    }
}

void LiveInputDialog::showNote()
{
    Note note;
    {
        const std::lock_guard lock(m_noteMutex);
        note = m_lastNote;
        m_notePosted = false;
    }
    m_noteLine->setText(QString::fromStdString(liveNoteText(note.key, note.duty)));
}
