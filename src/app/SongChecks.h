#pragma once

#include "base/WorkerOwner.h"
#include "rig/Rig.h"
#include "song/PlaybackOptions.h"
#include "views/SongCheck.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <mutex>
#include <optional>
#include <string>

// Checks a song on the rig (what checkSong reports) on a worker of its own,
// so that a big song never holds up the panel; the result comes to the GUI
// thread as the `checked` signal. One check at a time: a new one stops the
// one under way. GUI thread only.
class SongChecks : public QObject {
    Q_OBJECT

public:
    explicit SongChecks(QObject* parent = nullptr);
    // Stops the worker and joins it.
    ~SongChecks() override;

    void check(const std::string& path, const Rig& rig, const PlaybackOptions& options);

signals:
    // `summary` is the status bar's line, empty when nothing is wrong;
    // `report` the whole report.
    void checked(const QString& path, const QString& summary, const QString& report);

private:
    // The worker's result, handed to the GUI thread.
    struct Delivery {
        WorkerOwner::Generation generation = 0;
        std::string path;
        SongCheck result;
    };
    Q_INVOKABLE void deliver();

    std::mutex m_mailboxMutex;
    std::optional<Delivery> m_mailbox;  // guarded by m_mailboxMutex
    std::atomic<bool> m_stop{false};
    // Last: the worker is joined before what it uses goes.
    WorkerOwner m_worker{[this] { m_stop.store(true); }};
};
