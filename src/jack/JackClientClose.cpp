#include "jack/JackClientClose.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <exception>
#include <thread>

namespace {

// Shared with the helper thread, which may outlive the wait.
struct Completion {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
};

}  // namespace

bool finishWithin(std::function<void()> work, std::chrono::microseconds limit) noexcept
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::shared_ptr<Completion> completion;
    try {
        completion = std::make_shared<Completion>();
        std::thread([completion, work = std::move(work)] {
            work();
            {
                const std::lock_guard lock(completion->mutex);
                completion->finished = true;
            }
            completion->done.notify_all();
        }).detach();
    } catch (const std::exception&) {
        return false;
    }
    std::unique_lock lock(completion->mutex);
    return completion->done.wait_until(lock, deadline, [&] { return completion->finished; });
}

bool closeJackClient(jack_client_t* client, bool deactivate, std::chrono::microseconds limit) noexcept
{
    return finishWithin(
        [client, deactivate] {
            if (deactivate) {
                jack_deactivate(client);
            }
            jack_client_close(client);
        },
        limit);
}
