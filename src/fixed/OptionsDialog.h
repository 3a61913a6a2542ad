#pragma once

#include <QDialog>

#include "coilmodel/CoilLimits.h"

#include <functional>
#include <optional>

class QCheckBox;
class QDoubleSpinBox;
class QLabel;
class QSpinBox;
class QVBoxLayout;
class QLineEdit;
class QPushButton;
struct PlaybackOptions;

// The "Options" dialog: the played channel, the low-note shift and the custom
// velocity curve. The edits and check boxes are filled from the record when
// the dialog is built and written back on OK only; Cancel and the close box
// store nothing. "Load file..." loads a curve into the record at once (it
// stays loaded whatever button ends the dialog); the "Custom velocity curve"
// box, stored on OK, decides whether it is used. Escape is Cancel.
// The "Coil limits" group has a box per limit that switches it on and a
// field for its value; OK refuses, with a line in the group, a lowest key
// above the highest. The caller writes the accepted limits to the file.
class OptionsDialog : public QDialog {
    Q_OBJECT

public:
    // Returns the chosen curve file, or an empty string when cancelled.
    using CurveFileChooser = std::function<QString(QWidget* parent)>;

    // `options` must outlive the dialog. Without a chooser the system's open
    // dialog is used.
    OptionsDialog(PlaybackOptions& options, CurveFileChooser chooser = {}, QWidget* parent = nullptr);

    // The read-only line under the channel field that names the channels of
    // the selected file that have notes; empty for none.
    void showChannelNotes(const QString& text);
    // The limits file cannot be read (`why`, with its file and line): the
    // group shows why instead of limits it does not know, and OK leaves the
    // limits as they are.
    void refuseLimits(const QString& why);
    // There is a rig file: each coil has its own channels, and its shift and
    // limits where it sets them. The channel field is greyed, a line says so
    // over the fields, and its "Coils..." button calls `openCoils`.
    void leadToCoils(std::function<void()> openCoils);

signals:
    // The record changed: after OK, and after a curve file was loaded.
    void optionsChanged();

private:
    void storeAndAccept();
    void loadCurveFile();
    void addLimitsGroup(QVBoxLayout* layout);
    std::optional<CoilLimits> typedLimits() const;

    PlaybackOptions& m_options;
    CurveFileChooser m_chooser;
    QLineEdit* m_channelEdit = nullptr;
    QLabel* m_channelNotesLine = nullptr;
    QCheckBox* m_shiftLowNotesBox = nullptr;
    QLineEdit* m_lowerLimitEdit = nullptr;
    QCheckBox* m_customCurveBox = nullptr;
    QCheckBox* m_dutyLimitBox = nullptr;
    QDoubleSpinBox* m_dutyLimitSpin = nullptr;
    QCheckBox* m_maxNoteBox = nullptr;
    QSpinBox* m_maxNoteSpin = nullptr;
    QCheckBox* m_lowestKeyBox = nullptr;
    QSpinBox* m_lowestKeySpin = nullptr;
    QCheckBox* m_highestKeyBox = nullptr;
    QSpinBox* m_highestKeySpin = nullptr;
    QLabel* m_limitsErrorLine = nullptr;
    QVBoxLayout* m_layout = nullptr;
    double m_shownDutyLimit = 0.0;
    bool m_limitsRefused = false;
};
