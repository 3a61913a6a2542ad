#include "app/MainControls.h"

#include "app/SeekSlider.h"
#include "app/TransportIcons.h"
#include "app/VolumeSlider.h"
#include "song/NoteList.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

// An icon button: its name is what a screen reader says, the tip adds the key.
QPushButton* transportButton(QWidget* parent, const char* name, const QString& accessibleName, const QString& tip,
                             TransportSign sign)
{
    auto* button = new QPushButton(parent);
    button->setObjectName(name);
    button->setIcon(transportIcon(sign, parent->palette().color(QPalette::ButtonText)));
    button->setIconSize(QSize(24, 24));
    button->setToolTip(tip);
    button->setAccessibleName(accessibleName);
    button->setFocusPolicy(Qt::TabFocus);
    // Space is play/pause everywhere: Enter presses the button that has the focus.
    button->setAutoDefault(true);
    return button;
}

QPushButton* textButton(QWidget* parent, const char* name, const char* text)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setAutoDefault(true);
    return button;
}

}  // namespace

MainControls buildMainControls(QWidget* central, int volumePosition)
{
    MainControls c;
    c.play = transportButton(central, "playButton", "Play", "Play (Space)", TransportSign::Play);
    c.pause = transportButton(central, "pauseButton", "Pause", "Pause (Space)", TransportSign::Pause);
    c.stop = transportButton(central, "stopButton", "Stop", "Stop (S)", TransportSign::Stop);
    c.restart = transportButton(central, "restartButton", "Restart", "Restart from the beginning (R)", TransportSign::Restart);
    c.previous = transportButton(central, "previousButton", "Previous", "Previous file (P)", TransportSign::Previous);
    c.next = transportButton(central, "nextButton", "Next", "Next file (N)", TransportSign::Next);
    c.fixedMode = textButton(central, "fixedModeButton", "Fixed Mode");
    c.exit = textButton(central, "exitButton", "Exit");

    c.speed = new QSpinBox(central);
    c.speed->setObjectName("speedSpin");
    c.speed->setRange(kSlowestSpeed, kFastestSpeed);
    c.speed->setSingleStep(kSpeedStep);
    c.speed->setValue(100);
    c.speed->setSuffix(" %");
    // A typed 150 is one change, not 1, 15 and 150.
    c.speed->setKeyboardTracking(false);
    c.speed->setToolTip("Speed of the song playing, 25 to 400 %");
    auto* speedLabel = new QLabel("Spee&d", central);
    speedLabel->setBuddy(c.speed);

    c.volume = new VolumeSlider(central);
    c.volume->setObjectName("volumeSlider");
    c.volume->setRange(0, kSliderHighest);
    c.volume->setValue(volumePosition);
    c.volume->setToolTip("Volume: the channel volume sent, 0 to 127");
    c.volume->setAccessibleName("Volume");
    auto* volumeLabel = new QLabel("Volume", central);
    volumeLabel->setObjectName("volumeLabel");
    volumeLabel->setAlignment(Qt::AlignHCenter);
    // What the coil is sent: 127 at the top.
    auto* volumeValue = new QLabel(central);
    volumeValue->setObjectName("volumeValue");
    volumeValue->setAlignment(Qt::AlignHCenter);
    const auto showVolume = [volumeValue](int position) { volumeValue->setNum(kSliderHighest - position); };
    showVolume(volumePosition);
    QObject::connect(c.volume, &QSlider::valueChanged, volumeValue, showVolume);

    c.progress = new SeekSlider(central);
    c.progress->setObjectName("progressSlider");
    c.progress->setRange(0, kSliderHighest);
    c.progress->setToolTip("Progress: click or drag to seek (Left and Right: 5 s)");
    c.progress->setAccessibleName("Progress");

    c.playlist = new QListWidget(central);
    c.playlist->setObjectName("playlist");
    c.playlist->setSelectionMode(QAbstractItemView::SingleSelection);

    auto* volumeColumn = new QVBoxLayout;
    volumeColumn->addWidget(volumeLabel);
    volumeColumn->addWidget(c.volume, 1, Qt::AlignHCenter);
    volumeColumn->addWidget(volumeValue);
    auto* transportRow = new QHBoxLayout;
    for (QPushButton* button : {c.play, c.pause, c.stop, c.restart, c.previous, c.next}) {
        transportRow->addWidget(button);
    }
    transportRow->addSpacing(12);
    transportRow->addWidget(speedLabel);
    transportRow->addWidget(c.speed);
    transportRow->addStretch();
    transportRow->addWidget(c.fixedMode);
    transportRow->addWidget(c.exit);
    auto* mainColumn = new QVBoxLayout;
    mainColumn->addWidget(c.playlist, 1);
    mainColumn->addWidget(c.progress);
    mainColumn->addLayout(transportRow);
    auto* layout = new QHBoxLayout(central);
    layout->addLayout(volumeColumn);
    layout->addLayout(mainColumn, 1);
    return c;
}
