#include "app/PlaylistBox.h"

#include "app/StatusTexts.h"
#include "app/TransportIcons.h"

#include <QFileInfo>

#include <QListWidget>

void PlaylistBox::addRow(const Playlist::Line& line)
{
    auto* item = new QListWidgetItem(QString::fromStdString(line.text), m_box);
    item->setData(Qt::UserRole, line.index);
    // The placeholder stands for no file.
    if (!m_playlist.paths().empty()) {
        describe(item, m_playlist.path(line.index));
    }
}

void PlaylistBox::describe(QListWidgetItem* item, const std::string& path)
{
    item->setText(QString::fromStdString(playlistRowText(path, m_lengthOf(path), m_markOf(path))));
    item->setToolTip(QString::fromStdString(path));
    const bool there = QFileInfo(QString::fromStdString(path)).isFile();
    item->setForeground(there ? QBrush() : m_box->palette().brush(QPalette::Disabled, QPalette::Text));
}

void PlaylistBox::refresh(const std::string& path)
{
    for (int row = 0; row < m_box->count() && !m_playlist.paths().empty(); ++row) {
        QListWidgetItem* item = m_box->item(row);
        const int index = item->data(Qt::UserRole).toInt();
        if (index >= 0 && index < m_playlist.fileCount() && m_playlist.path(index) == path) {
            describe(item, path);
        }
    }
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
    const QIcon playingIcon =
        transportIcon(paused ? TransportSign::Pause : TransportSign::Play, m_box->palette().color(QPalette::Text));
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
