#pragma once

#include <cstdint>
#include <functional>
#include <thread>

// The one owner of a worker thread, for every kind of worker (playback,
// fixed mode, live input; in the panel and on the command line): at most one
// worker at a time, started, stopped and joined by the owning thread only.
//
// Each start takes the next generation and hands it to the worker, which
// reports its end with it (through a queued call, say); the owner joins on
// such a report only when it is the current generation, so a late report of
// an earlier worker never joins, or stops, a newer one. Thread ids would not
// tell them apart: the C library hands a finished thread's id to the next.
//
// Every join is preceded by `stop`, which must make the worker return soon
// from any phase: it raises the flag that the worker's start phase checks as
// well (reading a song, opening devices), and wakes its wait, so a join never
// waits for a slow start.
class WorkerOwner {
public:
    using Generation = std::uint64_t;
    using Body = std::function<void(Generation generation)>;

    // Declare the owner after everything `stop` and the worker use: it is
    // then gone, its worker joined, before they are.
    explicit WorkerOwner(std::function<void()> stop);
    // Stops and joins the worker.
    ~WorkerOwner();
    WorkerOwner(const WorkerOwner&) = delete;
    WorkerOwner& operator=(const WorkerOwner&) = delete;

    // Stops and joins the worker there is, then runs `body` on a new thread.
    Generation start(Body body);
    // Calls `stop` and joins, when there is a worker; nothing otherwise.
    void stopAndJoin();
    // The worker of `generation` has reported its end: true when it is the
    // current one (joined now, unless stopAndJoin did it already); false,
    // with nothing done, for an earlier one.
    bool joinEnded(Generation generation);

    // True while a worker has not been joined.
    bool running() const { return m_thread.joinable(); }
    Generation generation() const { return m_generation; }

private:
    std::function<void()> m_stop;
    std::thread m_thread;
    Generation m_generation = 0;
};
