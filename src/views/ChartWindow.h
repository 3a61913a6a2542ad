#pragma once

#include "views/ChartSource.h"

#include <QDialog>
#include <QRegion>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QComboBox;
class QPainter;

// Where the song being played is: its file and its clock.
struct Playhead {
    std::string path;
    int elapsedMs = 0;
};

// One analysis window: "Frequency Analysis", "Notes" or "Duty Cycle". Each
// paint asks the source for the chart of the file selected now; when the file
// or the options changed since it was computed, the window keeps showing the
// last chart until the new one is ready, then repaints. The chart fills the
// window with its aspect kept, sharp at any size and pixel ratio. It is an
// ordinary window: the panel stays usable while it is open.
//
// Around the field are its labels (ChartAxes: time, note names, percent),
// which keep their size while the chart scales; the window's minimum size
// shows the field at its logical size with every label readable.
//
// When the rig has more than one coil, a strip above the chart holds the
// coil chooser ("coilChooser"); the chart below it is the chosen coil's.
//
// The notes and duty windows show where the song being played is with a thin
// line across the field, the Frequency Analysis window with a mark under
// each key sounding then, while their chart is of the file being played. A
// move of the line or the marks repaints only their old and new place, from
// the chart in memory; such a repaint is not a paint of the chart, so it
// prints nothing.
class ChartWindow : public QDialog {
    Q_OBJECT

public:
    using SelectionProvider = std::function<PanelSelection()>;

    // `first` is what the first paint shows when the source has nothing newer.
    ChartWindow(ChartKind kind, ChartSource& source, SelectionProvider selection,
                std::shared_ptr<const ChartPicture> first, QWidget* parent = nullptr);

    ChartKind kind() const { return m_kind; }
    // How many times the window has painted.
    int paints() const { return m_paints; }
    const ChartPicture* picture() const { return m_picture.get(); }

    // The song being played moved (nothing: none plays).
    void setPlayhead(std::optional<Playhead> playhead);
    // The field's column where the last paint drew the playhead, or for the
    // Frequency Analysis window the keys it marked as sounding (none: no
    // song of this chart plays).
    std::optional<int> shownPlayhead() const { return m_shown ? m_shown->column : std::nullopt; }
    std::vector<std::int32_t> shownKeys() const { return m_shown ? m_shown->keys : std::vector<std::int32_t>{}; }

    // The layout of the chart shown now, in the pixels of its area (the
    // window's own when the chooser is hidden).
    ChartLayout layout() const;

    // The rig's coils by name and the one shown: the chooser shows them when
    // there are two or more, else it is hidden.
    void showCoils(const std::vector<std::string>& names, const std::string& shown);

signals:
    void painted();
    // The user chose another coil in the chooser.
    void coilChosen(const QString& name);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // What stands for the playhead: a column, or the keys sounding.
    struct PlayheadMarks {
        std::optional<int> column;
        std::vector<std::int32_t> keys;
        bool operator==(const PlayheadMarks&) const = default;
    };
    std::optional<PlayheadMarks> marksFor(const PanelSelection& selection) const;
    QRegion marksArea(const std::optional<PlayheadMarks>& marks) const;
    void paintMarks(QPainter& painter, const ChartLayout& layout) const;

    ChartKind m_kind;
    ChartSource& m_source;
    QWidget* m_strip = nullptr;
    QComboBox* m_coilBox = nullptr;
    // Where the chart is painted, below the strip: a place in the layout.
    QWidget* m_area = nullptr;
    SelectionProvider m_selection;
    std::shared_ptr<const ChartPicture> m_picture;
    int m_paints = 0;
    std::optional<Playhead> m_playhead;
    std::optional<PlayheadMarks> m_shown;
    // What setPlayhead asked to repaint since the last paint.
    QRegion m_playheadDirty;
};

// The window title of each kind.
const char* chartWindowTitle(ChartKind kind);
