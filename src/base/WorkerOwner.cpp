#include "base/WorkerOwner.h"

#include <utility>

WorkerOwner::WorkerOwner(std::function<void()> stop) : m_stop(std::move(stop))
{
}

WorkerOwner::~WorkerOwner()
{
    stopAndJoin();
}

WorkerOwner::Generation WorkerOwner::start(Body body)
{
    stopAndJoin();
    const Generation generation = ++m_generation;
    m_thread = std::thread(std::move(body), generation);
    return generation;
}

void WorkerOwner::stopAndJoin()
{
    if (!m_thread.joinable()) {
        return;
    }
    m_stop();
    m_thread.join();
}

bool WorkerOwner::joinEnded(Generation generation)
{
    if (generation != m_generation) {
        return false;
    }
    if (m_thread.joinable()) {
        m_thread.join();
    }
    return true;
}
