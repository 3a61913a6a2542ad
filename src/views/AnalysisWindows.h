#pragma once

#include "views/ChartSource.h"
#include "views/ChartWindow.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <optional>

class QWidget;

// Opens the analysis windows of the panel and answers the Options dialog's
// question of which channels hold notes. A window opens, modal over the
// panel, once its chart is ready, so that its first paint shows the chart;
// until then the panel stays responsive under a busy cursor. GUI thread only.
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
};
