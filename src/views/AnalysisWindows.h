#pragma once

#include "views/ChartSource.h"
#include "views/ChartWindow.h"

#include <QByteArray>
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
// is one window of each kind: asking for an open one raises it, and asking
// for another while one is being computed opens only the one asked for last.
// A window opens where the one of its kind was last. The three windows show
// one coil of the rig: the coil chosen in any of them. GUI thread only.
class AnalysisWindows : public QObject {
    Q_OBJECT

public:
    AnalysisWindows(ChartSource::Makers makers, ChartWindow::SelectionProvider selection, QWidget* parent);
    ~AnalysisWindows() override;

    void open(ChartKind kind);
    // Opens the windows of `kinds` (by ChartKind) at once, each as soon as
    // its chart is ready, where `geometry` (QWidget::saveGeometry) puts
    // each window of a kind, now and whenever it opens later.
    void reopen(const std::array<bool, 3>& kinds, const std::array<QByteArray, 3>& geometry);
    // Which windows are open, by ChartKind.
    std::array<bool, 3> openKinds() const;
    // Where each window is, or was when it closed last (empty when it never
    // opened nor was given a place).
    std::array<QByteArray, 3> geometry() const;

    // Calls `show` with the channel text of the selected file, at once when
    // it is known, else once it has been computed (only the latest `show` is
    // called).
    void channelNotes(std::function<void(const QString&)> show);

    ChartSource& source() { return m_source; }

    // The selection, the options or the rig changed: the open windows show
    // the rig's coils and paint afresh.
    void selectionChanged();
    // The panel's selection with the coil the windows show.
    PanelSelection selection() const;
    // Where the song being played is, for the windows that show it; nothing
    // when none plays.
    void setPlayhead(std::optional<Playhead> playhead);
    // Whether a window is open that shows the playhead (they all do).
    bool showsPlayhead() const;

signals:
    void windowOpened(ChartWindow* window);

private:
    // Opens the window of `kind`, or raises it, or computes its chart and
    // marks it as opening.
    void request(ChartKind kind);
    void pictureReady(ChartKind kind);
    void showWindow(ChartKind kind, std::shared_ptr<const ChartPicture> picture);
    void setBusy(bool busy);
    void showCoils(ChartWindow& window, const PanelSelection& selection) const;

    QWidget* m_parent;
    ChartSource m_source;
    ChartWindow::SelectionProvider m_selection;
    // The kinds whose windows open once their chart is ready.
    std::array<bool, 3> m_opening{};
    bool m_busy = false;
    std::function<void(const QString&)> m_showChannelNotes;
    std::array<QPointer<ChartWindow>, 3> m_windows;
    std::array<QByteArray, 3> m_geometry;
    std::optional<Playhead> m_playhead;
    // The coil chosen in a window (none yet: the rig's first).
    std::string m_coil;
};
