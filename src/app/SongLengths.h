#pragma once

#include "app/GuiCalls.h"

#include "base/WorkerOwner.h"
#include "song/PlaybackOptions.h"
#include "views/SongKey.h"

#include <QObject>

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

// The length of each playlist file as "Playing 1:23 / 3:45" gives it when
// it plays: the time of the last entry of its note list under the options in
// force. Worked out file by file on a worker of its own (one at a time, owned
// as every worker is), so that a long list or a very large song never holds
// up the panel; each length comes to the GUI thread as soon as it is known.
// A length is kept for the file as it is on disk and for the options it was
// worked out with (SongKey); a file that cannot be read, or has no notes on
// the channel, has none. GUI thread only.
class SongLengths : public QObject {
    Q_OBJECT

public:
    explicit SongLengths(QObject* parent = nullptr);
    // Stops the worker and joins it.
    ~SongLengths() override;

    // The length of `path` under `options` when it is known for the file as
    // it is now; nothing while it is worked out, and for a file without one.
    std::optional<int> lengthMs(const std::string& path, const PlaybackOptions& options) const;
    // Works out the lengths of `paths` not known yet under `options`; a
    // measure under way gives up its files in favour of these.
    void measure(const std::vector<std::string>& paths, const PlaybackOptions& options);

signals:
    // The length of `path` has been worked out (none, for a file without).
    void measured(const QString& path);

private:
    struct Length {
        SongKey key;
        std::optional<int> ms;
    };
    void deliver();

    std::unordered_map<std::string, Length> m_lengths;
    std::mutex m_mailboxMutex;
    std::vector<Length> m_mailbox;  // guarded by m_mailboxMutex
    bool m_posted = false;          // guarded by m_mailboxMutex
    std::atomic<bool> m_stop{false};
    // Last: the worker is joined before what it uses goes.
    GuiCalls m_calls;
    WorkerOwner m_worker{[this] { m_stop.store(true); }};
};
