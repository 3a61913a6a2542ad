#include "app/PlaylistBox.h"

#include <QListWidget>
#include <QStyle>

void PlaylistBox::addRow(const Playlist::Line& line)
{
    auto* item = new QListWidgetItem(QString::fromStdString(line.text), m_box);
    item->setData(Qt::UserRole, line.index);
}

void PlaylistBox::showLines()
{
    m_box->clear();
    for (const Playlist::Line& line : m_playlist.lines()) {
        addRow(line);
    }
}

void PlaylistBox::showLastLine(bool boxEmptied)
{
    if (boxEmptied) {
        m_box->clear();
    }
    addRow(m_playlist.lines().back());
}

void PlaylistBox::markPlaying(int index, bool paused)
{
    const QIcon playingIcon = m_box->style()->standardIcon(paused ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay);
    const std::optional<int> playingRow = index >= 0 ? m_playlist.rowOf(index) : std::nullopt;
    for (int row = 0; row < m_box->count(); ++row) {
        QListWidgetItem* item = m_box->item(row);
        const bool playing = playingRow == row;
        QFont font = item->font();
        font.setBold(playing);
        item->setFont(font);
        item->setIcon(playing ? playingIcon : QIcon());
        item->setData(Qt::AccessibleDescriptionRole, playing ? QString(paused ? "Paused" : "Playing") : QString());
    }
}

void PlaylistBox::select(int index)
{
    if (const auto row = m_playlist.rowOf(index)) {
        m_box->setCurrentRow(*row);
    }
}
