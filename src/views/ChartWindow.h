#pragma once

#include "views/ChartSource.h"

#include <QDialog>

#include <QRegion>

#include <functional>
#include <memory>
#include <optional>
#include <string>

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
// The notes and duty windows show where the song being played is with a thin
// line across the field, while their chart is of the file being played. A
// move of the line repaints only its old and new place, from the chart in
// memory; such a repaint is not a paint of the chart, so it prints nothing.
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
    // The field's column where the last paint drew the playhead.
    std::optional<int> shownPlayhead() const { return m_shownColumn; }

signals:
    void painted();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::optional<int> columnFor(const PanelSelection& selection) const;
    QRect playheadArea(std::optional<int> column) const;

    ChartKind m_kind;
    ChartSource& m_source;
    SelectionProvider m_selection;
    std::shared_ptr<const ChartPicture> m_picture;
    int m_paints = 0;
    std::optional<Playhead> m_playhead;
    std::optional<int> m_shownColumn;
    // What setPlayhead asked to repaint since the last paint.
    QRegion m_playheadDirty;
};

// The window title of each kind.
const char* chartWindowTitle(ChartKind kind);
