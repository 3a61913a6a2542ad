#pragma once

#include "views/ChartSource.h"
#include "views/ChartWindow.h"

#include <QObject>
#include <QPointer>

#include <array>
#include <functional>
#include <optional>

class QWidget;

// Opens the analysis windows of the panel and answers the Options dialog's
// question of which channels hold notes. A window opens beside the panel,
// which stays usable, once its chart is ready, so that its first paint shows
// the chart; until then the panel stays responsive under a busy cursor. There
// is one window of each kind: asking for an open one raises it. GUI thread
// only.
class AnalysisWindows : public QObject {
    Q_OBJECT

public:
    AnalysisWindows(ChartSource::Makers makers, ChartWindow::SelectionProvider selection, QWidget* parent);
    ~AnalysisWindows() override;

    void open(ChartKind kind);

    // Calls `show` with the channel text of the selected file, at once when
    // it is known, else once it has been computed (only the latest `show` is
    // called).
    void channelNotes(std::function<void(const QString&)> show);

    ChartSource& source() { return m_source; }

    // The selection or the options changed: the open windows paint afresh.
    void selectionChanged();
    // Where the song being played is, for the windows that show it; nothing
    // when none plays.
    void setPlayhead(std::optional<Playhead> playhead);
    // Whether a window is open that shows the playhead (they all do).
    bool showsPlayhead() const;

signals:
    void windowOpened(ChartWindow* window);

private:
    void pictureReady(ChartKind kind);
    void showWindow(ChartKind kind, std::shared_ptr<const ChartPicture> picture);
    void setBusy(bool busy);

    QWidget* m_parent;
    ChartSource m_source;
    ChartWindow::SelectionProvider m_selection;
    std::optional<ChartKind> m_opening;
    bool m_busy = false;
    std::function<void(const QString&)> m_showChannelNotes;
    std::array<QPointer<ChartWindow>, 3> m_windows;
    std::optional<Playhead> m_playhead;
};
