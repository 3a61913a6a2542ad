#include "app/FileDrops.h"

#include <QFileInfo>

#include <algorithm>

bool offersLocalFiles(const QList<QUrl>& urls)
{
    return std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); });
}

DroppedFiles droppedFiles(const QList<QUrl>& urls)
{
    QStringList local;
    std::optional<QString> webRefusal;
    for (const QUrl& url : urls) {
        if (url.isLocalFile()) {
            local.append(url.toLocalFile());
        } else {
            webRefusal = QString("Error: not a local file ") + url.toDisplayString();
        }
    }
    DroppedFiles dropped = regularFiles(local);
    if (webRefusal) {
        dropped.refusal = webRefusal;
    }
    return dropped;
}

DroppedFiles regularFiles(const QStringList& paths)
{
    DroppedFiles dropped;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (!info.exists()) {
            dropped.refusal = QString("Error: cannot open file ") + path;
        } else if (!info.isFile()) {
            dropped.refusal = QString("Error: not a regular file ") + path;
        } else {
            dropped.files.append(path);
        }
    }
    return dropped;
}
