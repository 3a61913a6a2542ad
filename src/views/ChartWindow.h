#pragma once

#include "views/ChartSource.h"

#include <QDialog>

#include <functional>
#include <memory>

// One analysis window: "Frequency Analysis", "Notes" or "Duty Cycle". Each
// paint asks the source for the chart of the file selected now; when the file
// or the options changed since it was computed, the window keeps showing the
// last chart until the new one is ready, then repaints. The chart fills the
// window with its aspect kept, sharp at any size and pixel ratio.
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

signals:
    void painted();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ChartKind m_kind;
    ChartSource& m_source;
    SelectionProvider m_selection;
    std::shared_ptr<const ChartPicture> m_picture;
    int m_paints = 0;
};

// The window title of each kind.
const char* chartWindowTitle(ChartKind kind);
