#pragma once

#include "app/GuiCalls.h"

#include "app/CoilsEdit.h"
#include "base/WorkerOwner.h"

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
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;

// "Coils": the coils of the rig file, added, removed and renamed in a list,
// and for the chosen one its device (the devices present now, or the typed
// name of one that is not), its channels as sixteen boxes, voices and keep,
// transpose, the low-note shift, its share of the volume and its limits.
//
// A field whose key the coil leaves to the Options or coil-limits.conf shows
// the value in force and stays left to them unless changed; a limit at its
// lowest ("as coil-limits.conf") is left to the file. OK writes the rig file
// (rigFileWith, then writeRig); one that cannot be written or read back is
// refused with its file and line under the fields, the edits kept in the
// dialog and the file as it was. Escape is Cancel; every field has a
// mnemonic (Alt+0 to Alt+9 the channel boxes, again for 10 to 15).
class CoilsDialog : public QDialog {
    Q_OBJECT

public:
    // `fallback`: the Options and coil-limits.conf's limits in force, which
    // a coil's absent keys take.
    CoilsDialog(CoilsEdit edit, const PlaybackOptions& fallback, const std::vector<std::string>& devices,
                QWidget* parent = nullptr);
    // Stops the song's survey and joins it.
    ~CoilsDialog() override;

    // Labels the channel boxes with what the song at `path` has, found on a
    // worker of the dialog's own (songChannels) and shown when it is known.
    void surveySong(const std::string& path);

    // Labels the channel boxes with what the selected song has on each
    // channel; a channel without notes is greyed. Nothing for no song.
    void showSongChannels(const std::optional<std::array<SongChannel, 16>>& channels);
    // The coils as edited so far.
    std::vector<EditedCoil> coils();

signals:
    // The rig file was written.
    void rigWritten();

private:
    void buildFields();
    void showCoil(int row);
    // The fields into the coil shown.
    void storeShown();
    void addCoil();
    void removeCoil();
    void writeAndAccept();

    CoilsEdit m_edit;
    PlaybackOptions m_fallback;
    int m_shown = -1;
    QListWidget* m_list = nullptr;
    QPushButton* m_removeButton = nullptr;
    QLineEdit* m_nameEdit = nullptr;
    QComboBox* m_deviceBox = nullptr;
    std::array<QCheckBox*, 16> m_channelBoxes{};
    QSpinBox* m_voicesSpin = nullptr;
    QComboBox* m_keepBox = nullptr;
    QSpinBox* m_transposeSpin = nullptr;
    QCheckBox* m_shiftBox = nullptr;
    QSpinBox* m_lowerLimitSpin = nullptr;
    QSpinBox* m_volumeSpin = nullptr;
    QDoubleSpinBox* m_dutySpin = nullptr;
    QSpinBox* m_maxNoteSpin = nullptr;
    QSpinBox* m_lowestKeySpin = nullptr;
    QSpinBox* m_highestKeySpin = nullptr;
    QLabel* m_errorLine = nullptr;
    std::atomic<bool> m_stop{false};
    // Last: the worker is joined before what it uses goes.
    GuiCalls m_calls;
    WorkerOwner m_worker{[this] { m_stop.store(true); }};
};
