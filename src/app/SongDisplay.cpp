#include "app/SongDisplay.h"

#include "app/Playlist.h"
#include "app/PlaylistBox.h"
#include "app/StatusTexts.h"
#include "views/AnalysisWindows.h"

#include <QLabel>
#include <QStatusBar>
#include <QTimer>

namespace {

// The playhead of the analysis windows moves this often.
constexpr int kPlayheadIntervalMs = 200;

}  // namespace

SongDisplay::SongDisplay(QStatusBar* bar, const Playlist& playlist, PlaylistBox& rows, AnalysisWindows& analysis,
                         QObject* parent)
    : QObject(parent),
      m_playlist(playlist),
      m_rows(rows),
      m_analysis(analysis),
      m_timeLabel(new QLabel(bar)),
      m_limitsLabel(new QLabel(bar)),
      m_checkLabel(new QLabel(bar)),
      m_playheadTimer(new QTimer(this))
{
    m_checkLabel->setObjectName("checkLabel");
    bar->addPermanentWidget(m_checkLabel);
    m_limitsLabel->setObjectName("limitsLabel");
    bar->addPermanentWidget(m_limitsLabel);
    m_timeLabel->setObjectName("songTimeLabel");
    bar->addPermanentWidget(m_timeLabel);
    m_playheadTimer->setInterval(kPlayheadIntervalMs);
    connect(m_playheadTimer, &QTimer::timeout, this, &SongDisplay::movePlayhead);
    m_monotonic.start();
}

void SongDisplay::started(int totalMs, bool paused)
{
    m_clock.start(totalMs, m_monotonic.elapsed());
    setPaused(paused);
    m_playheadTimer->start();
    movePlayhead();
}

void SongDisplay::lengthChanged(int totalMs)
{
    m_clock.setTotal(totalMs);
    showTime();
}

void SongDisplay::time(int elapsedMs)
{
    m_clock.report(elapsedMs, m_monotonic.elapsed());
    showTime();
    movePlayhead();
}

void SongDisplay::ended()
{
    m_clock.stop();
    m_playheadTimer->stop();
    markPlaying(-1);
    showTime();
    movePlayhead();
}

void SongDisplay::setPaused(bool paused)
{
    m_clock.setPaused(paused, m_monotonic.elapsed());
    markPlaying(m_playingIndex);
    showTime();
}

void SongDisplay::markPlaying(int index)
{
    m_playingIndex = index;
    m_rows.markPlaying(index, m_clock.paused());
}

void SongDisplay::showLimits(const QString& text)
{
    m_limitsLabel->setText(text);
}

void SongDisplay::showCheck(const QString& text)
{
    m_checkLabel->setText(text);
}

void SongDisplay::showTime()
{
    m_timeLabel->setText(m_clock.running() ? QString::fromStdString(
                                                 songTimeText(m_clock.paused(), m_clock.reportedMs(), m_clock.totalMs()))
                                           : QString());
}

void SongDisplay::movePlayhead()
{
    if (!m_clock.running() || m_playingIndex < 0 || m_playingIndex >= m_playlist.fileCount()) {
        m_analysis.setPlayhead(std::nullopt);
        return;
    }
    if (m_analysis.showsPlayhead()) {
        m_analysis.setPlayhead(Playhead{m_playlist.path(m_playingIndex), m_clock.at(m_monotonic.elapsed())});
    }
}
