#include "app/SongSettingsDialog.h"

#include "app/GuiCalls.h"

#include "app/ChannelBoxes.h"
#include "song/NoteList.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

QSpinBox* spinBox(QWidget* parent, const char* name, int lowest, int highest, const char* suffix)
{
    auto* spin = new QSpinBox(parent);
    spin->setObjectName(name);
    spin->setRange(lowest, highest);
    spin->setSuffix(suffix);
    return spin;
}

QDoubleSpinBox* secondsBox(QWidget* parent, const char* name)
{
    auto* spin = new QDoubleSpinBox(parent);
    spin->setObjectName(name);
    // Milliseconds, as the loop keys set them: a loop shown is written back unchanged.
    spin->setDecimals(3);
    spin->setRange(0.0, 2000000.0);
    spin->setSuffix(" s");
    return spin;
}

QString secondsText(double seconds)
{
    return QString::number(seconds, 'f', 3);
}

}  // namespace

SongSettingsDialog::SongSettingsDialog(const Rig& rig, std::string songPath, const PlaybackOptions& options,
                                       QWidget* parent)
    : QDialog(parent), m_rig(rig), m_songPath(std::move(songPath))
{
    setObjectName("songSettingsDialog");
    setWindowTitle("Song settings");
    buildFields();
    for (const Coil& coil : m_rig.coils) {
        m_coilBox->addItem(QString::fromStdString(coil.name));
        m_fields.push_back({true, coil.channels.bits, true, coil.transpose});
    }
    connect(m_coilBox, &QComboBox::currentIndexChanged, this, [this](int index) {
        storeShown();
        showCoil(index);
    });
    showCoil(0);
    labelChannelBoxes(m_channelBoxes, std::nullopt);
    m_okButton->setEnabled(false);
    read(options);
}

SongSettingsDialog::~SongSettingsDialog()
{
    m_worker.stopAndJoin();
}

void SongSettingsDialog::read(const PlaybackOptions& options)
{
    m_worker.start([this, path = m_songPath, options](WorkerOwner::Generation generation) {
        FoundSongSettings found;
        std::string error;
        findSongSettings(path, found, error, false, &m_stop);
        m_calls.post([this, found, error] { showRead(found, error); });
        auto channels = songChannels(path, options, &m_stop);
        m_calls.post([this, generation, channels = std::move(channels)] {
                if (m_worker.joinEnded(generation) && channels) {
                    labelChannelBoxes(m_channelBoxes, channels);
                }
            });
    });
}

void SongSettingsDialog::showRead(const FoundSongSettings& found, const std::string& error)
{
    m_path = found.path;
    m_readError = error;
    m_ready = true;
    m_okButton->setEnabled(true);
    if (!error.empty()) {
        m_errorLine->setText(QString::fromStdString(error));
        m_errorLine->show();
    }
    if (!found.found) {
        return;
    }
    m_read = found.settings;
    for (std::size_t i = 0; i < m_rig.coils.size(); ++i) {
        for (const SongCoilSettings& coil : m_read.coils) {
            if (coil.coil != m_rig.coils[i].name) {
                continue;
            }
            if (coil.channels) {
                m_fields[i] = {false, *coil.channels, m_fields[i].transposeAsRig, m_fields[i].transpose};
            }
            if (coil.transpose) {
                m_fields[i].transposeAsRig = false;
                m_fields[i].transpose = *coil.transpose;
            }
        }
    }
    showCoil(std::max(0, m_coilBox->currentIndex()));
    m_volumeSpin->setValue(m_read.volumePercent.value_or(100));
    m_speedSpin->setValue(m_read.speedPercent.value_or(100));
    m_loopBox->setChecked(m_read.loop.has_value());
    if (m_read.loop) {
        m_fromSpin->setValue(m_read.loop->fromMs / 1000.0);
        m_untilSpin->setValue(m_read.loop->toMs / 1000.0);
    }
}

void SongSettingsDialog::buildFields()
{
    m_coilBox = new QComboBox(this);
    m_coilBox->setObjectName("songCoilBox");
    auto* channels = new QGroupBox("Channels", this);
    channels->setObjectName("channelsGroup");
    m_channelBoxes = makeChannelBoxes(channels);
    m_channelsAsRig = new QCheckBox("Channels &as the rig", this);
    m_channelsAsRig->setObjectName("channelsAsRigBox");
    m_transposeSpin = spinBox(this, "transposeSpin", -48, 48, " semitones");
    m_transposeAsRig = new QCheckBox("Transpose as the &rig", this);
    m_transposeAsRig->setObjectName("transposeAsRigBox");
    m_volumeSpin = spinBox(this, "songVolumeSpin", 1, 100, " %");
    m_speedSpin = spinBox(this, "songSpeedSpin", kSlowestSpeed, kFastestSpeed, " %");
    m_speedSpin->setSingleStep(kSpeedStep);
    // What a song without settings plays at, until its file says otherwise.
    m_volumeSpin->setValue(100);
    m_speedSpin->setValue(100);
    m_loopBox = new QCheckBox("&Loop", this);
    m_loopBox->setObjectName("loopBox");
    m_fromSpin = secondsBox(this, "loopFromSpin");
    m_untilSpin = secondsBox(this, "loopUntilSpin");

    auto* coilForm = new QFormLayout;
    coilForm->addRow("&Coil", m_coilBox);
    coilForm->addRow(m_channelsAsRig);
    coilForm->addRow(channels);
    coilForm->addRow("&Transpose", m_transposeSpin);
    coilForm->addRow(m_transposeAsRig);
    auto* songForm = new QFormLayout;
    songForm->addRow("&Volume", m_volumeSpin);
    songForm->addRow("&Speed", m_speedSpin);
    songForm->addRow(m_loopBox);
    songForm->addRow("&From", m_fromSpin);
    songForm->addRow("&Until", m_untilSpin);
    auto* columns = new QHBoxLayout;
    columns->addLayout(coilForm);
    columns->addLayout(songForm);

    m_errorLine = new QLabel(this);
    m_errorLine->setObjectName("songSettingsErrorLine");
    m_errorLine->setWordWrap(true);
    m_errorLine->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_errorLine->hide();
    m_okButton = new QPushButton("&OK", this);
    m_okButton->setObjectName("okButton");
    m_okButton->setDefault(true);
    auto* cancelButton = new QPushButton("Canc&el", this);
    cancelButton->setObjectName("cancelButton");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_okButton);
    buttons->addWidget(cancelButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns);
    layout->addWidget(m_errorLine);
    layout->addLayout(buttons);

    connect(m_channelsAsRig, &QCheckBox::toggled, this, &SongSettingsDialog::followAsRig);
    connect(m_transposeAsRig, &QCheckBox::toggled, this, &SongSettingsDialog::followAsRig);
    connect(m_loopBox, &QCheckBox::toggled, this, &SongSettingsDialog::followAsRig);
    connect(m_okButton, &QPushButton::clicked, this, &SongSettingsDialog::writeAndAccept);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void SongSettingsDialog::followAsRig()
{
    for (QCheckBox* box : m_channelBoxes) {
        box->setEnabled(!m_channelsAsRig->isChecked());
    }
    m_transposeSpin->setEnabled(!m_transposeAsRig->isChecked());
    m_fromSpin->setEnabled(m_loopBox->isChecked());
    m_untilSpin->setEnabled(m_loopBox->isChecked());
}

void SongSettingsDialog::showCoil(int index)
{
    m_shown = -1;
    if (index < 0 || static_cast<std::size_t>(index) >= m_fields.size()) {
        return;
    }
    const CoilFields& fields = m_fields[static_cast<std::size_t>(index)];
    m_channelsAsRig->setChecked(fields.channelsAsRig);
    for (int channel = 0; channel < 16; ++channel) {
        m_channelBoxes[static_cast<std::size_t>(channel)]->setChecked(((fields.channels >> channel) & 1U) != 0);
    }
    m_transposeAsRig->setChecked(fields.transposeAsRig);
    m_transposeSpin->setValue(fields.transpose);
    followAsRig();
    m_shown = index;
}

void SongSettingsDialog::storeShown()
{
    if (m_shown < 0) {
        return;
    }
    CoilFields& fields = m_fields[static_cast<std::size_t>(m_shown)];
    fields.channelsAsRig = m_channelsAsRig->isChecked();
    fields.channels = 0;
    for (int channel = 0; channel < 16; ++channel) {
        if (m_channelBoxes[static_cast<std::size_t>(channel)]->isChecked()) {
            fields.channels = static_cast<std::uint16_t>(fields.channels | (1U << channel));
        }
    }
    fields.transposeAsRig = m_transposeAsRig->isChecked();
    fields.transpose = m_transposeSpin->value();
}

std::optional<SongSettings> SongSettingsDialog::edited(std::string& error)
{
    storeShown();
    SongSettings settings = m_read;
    const auto set = [&](const std::string* coil, const char* key, const std::string& value) {
        if (auto wrong = setSongKey(settings, coil, key, value)) {
            error = (coil != nullptr ? "Coil " + *coil + ": " : std::string()) + *wrong;
            return false;
        }
        return true;
    };
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        const CoilFields& fields = m_fields[i];
        const std::string& name = m_rig.coils[i].name;
        if (!fields.channelsAsRig && fields.channels == 0) {
            error = "Coil " + name + ": no channel is ticked";
            return std::nullopt;
        }
        if (!set(&name, "channels", fields.channelsAsRig ? "" : channelListText(fields.channels)) ||
            !set(&name, "transpose", fields.transposeAsRig ? "" : std::to_string(fields.transpose))) {
            return std::nullopt;
        }
    }
    // A coil left wholly to the rig needs no section.
    std::erase_if(settings.coils, [](const SongCoilSettings& coil) { return !coil.channels && !coil.transpose; });
    // Full volume and the song's own speed are what a song without the key
    // gets: unset unless the file said so.
    const auto unlessPlain = [](int value, const std::optional<std::int32_t>& read) {
        return value == 100 && !read ? std::string() : std::to_string(value);
    };
    const std::string loop =
        m_loopBox->isChecked() ? (secondsText(m_fromSpin->value()) + '-' + secondsText(m_untilSpin->value())).toStdString()
                               : std::string();
    if (!set(nullptr, "volume", unlessPlain(m_volumeSpin->value(), m_read.volumePercent)) ||
        !set(nullptr, "speed", unlessPlain(m_speedSpin->value(), m_read.speedPercent)) || !set(nullptr, "loop", loop)) {
        return std::nullopt;
    }
    return settings;
}

void SongSettingsDialog::writeAndAccept()
{
    std::string error = m_readError;
    std::optional<SongSettings> settings;
    if (!m_path.empty()) {
        error.clear();
        settings = edited(error);
    }
    if (settings && writeSongSettings(m_path, *settings, m_songPath, error)) {
        emit written(QString::fromStdString(m_songPath));
        accept();
        return;
    }
    m_errorLine->setText(QString::fromStdString(error));
    m_errorLine->show();
}
