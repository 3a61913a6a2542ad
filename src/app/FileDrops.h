#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

// What of a drop (or a start-up list) goes into the playlist: the regular
// files, in order, and the refusal to show for the rest. A web address is
// refused before anything else, as it is the least expected; otherwise the
// last missing file or folder is named.
struct DroppedFiles {
    QStringList files;
    std::optional<QString> refusal;
};

// Whether a drag offers at least one local file: only such a drag is taken.
bool offersLocalFiles(const QList<QUrl>& urls);
// The files of a drop of `urls`.
DroppedFiles droppedFiles(const QList<QUrl>& urls);
// The files among `paths`: "Error: cannot open file PATH" for one that does
// not exist, "Error: not a regular file PATH" for a folder or the like.
DroppedFiles regularFiles(const QStringList& paths);
