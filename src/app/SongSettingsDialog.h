#pragma once

#include "app/GuiCalls.h"

#include "app/CoilsEdit.h"
#include "base/WorkerOwner.h"
#include "rig/Rig.h"
#include "song/SongSettingsFile.h"

#include <QDialog>

#include <array>
#include <atomic>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QSpinBox;

// "Song settings": what one song changes for itself, kept in its settings
// file. For each coil of the rig (the single coil without a rig file) its
// channels and transpose, each either "as the rig" or the song's own; the
// song's volume and speed (100 % unset when the file had none) and its loop.
//
// The song's bytes are hashed on a worker of the dialog's own (a big song
// holds nothing up); until then OK waits. A settings file that does not parse
// is shown under the fields and never written over; OK writes the file
// (writeSongSettings) or says why it cannot, the edits kept in the dialog.
// Escape is Cancel; every field has a mnemonic.
class SongSettingsDialog : public QDialog {
    Q_OBJECT

public:
    SongSettingsDialog(const Rig& rig, std::string songPath, const PlaybackOptions& options, QWidget* parent = nullptr);
    // Stops the reading and joins it.
    ~SongSettingsDialog() override;

    // The settings the fields make of those read, or nothing with the
    // reason in `error`.
    std::optional<SongSettings> edited(std::string& error);
    // The song's settings file has been looked for.
    bool ready() const { return m_ready; }

signals:
    // The song's settings file was written.
    void written(const QString& songPath);

private:
    // One coil's fields, as they stand.
    struct CoilFields {
        bool channelsAsRig = true;
        std::uint16_t channels = 0;
        bool transposeAsRig = true;
        int transpose = 0;
    };
    void buildFields();
    void read(const PlaybackOptions& options);
    void showRead(const FoundSongSettings& found, const std::string& error);
    void showCoil(int index);
    void storeShown();
    void followAsRig();
    void writeAndAccept();

    Rig m_rig;
    std::string m_songPath;
    std::string m_path;  // the settings file; empty until known, or when the song cannot be read
    std::string m_readError;
    SongSettings m_read;
    std::vector<CoilFields> m_fields;
    int m_shown = -1;
    bool m_ready = false;
    QComboBox* m_coilBox = nullptr;
    QCheckBox* m_channelsAsRig = nullptr;
    std::array<QCheckBox*, 16> m_channelBoxes{};
    QSpinBox* m_transposeSpin = nullptr;
    QCheckBox* m_transposeAsRig = nullptr;
    QSpinBox* m_volumeSpin = nullptr;
    QSpinBox* m_speedSpin = nullptr;
    QCheckBox* m_loopBox = nullptr;
    QDoubleSpinBox* m_fromSpin = nullptr;
    QDoubleSpinBox* m_untilSpin = nullptr;
    QLabel* m_errorLine = nullptr;
    QPushButton* m_okButton = nullptr;
    std::atomic<bool> m_stop{false};
    // Last: the worker is joined before what it uses goes.
    GuiCalls m_calls;
    WorkerOwner m_worker{[this] { m_stop.store(true); }};
};
