#pragma once

#include "app/GuiCalls.h"

#include "base/WorkerOwner.h"
#include "song/SongSettings.h"
#include "views/SongKey.h"

#include <QObject>

#include <atomic>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

// Which playlist files have song settings, and what they are: each file's
// bytes hashed and its settings file read on a worker of its own (one file
// at a time), each answer brought to the GUI thread as soon as it is known.
// An answer is kept for the file as it is on disk; a file whose settings
// cannot be read has none. GUI thread only.
class SongSettingsMarks : public QObject {
    Q_OBJECT

public:
    explicit SongSettingsMarks(QObject* parent = nullptr);
    // Stops the worker and joins it.
    ~SongSettingsMarks() override;

    // The settings of `path` when they are known for the file as it is now
    // and it has some.
    std::optional<SongSettings> settingsOf(const std::string& path) const;
    // Looks up the files of `paths` not known yet; a look-up under way gives
    // up its files in favour of these.
    void look(const std::vector<std::string>& paths);
    // A settings file was written: every answer is looked for again.
    void forget() { m_known.clear(); }

signals:
    // What `path` has has become known.
    void looked(const QString& path);

private:
    struct Known {
        SongKey key;
        std::optional<SongSettings> settings;
    };
    std::unordered_map<std::string, Known> m_known;
    std::atomic<bool> m_stop{false};
    // Last: the worker is joined before what it uses goes.
    GuiCalls m_calls;
    WorkerOwner m_worker{[this] { m_stop.store(true); }};
};
