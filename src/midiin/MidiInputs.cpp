#include "midiin/MidiInputService.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

namespace {

// The devices of the first service, then those of the second, numbered in
// that order as of the latest count.
class MidiInputChain final : public MidiInputService {
public:
    MidiInputChain() : m_services(systemInputServices()) {}

    int deviceCount() override
    {
        std::vector<int> counts;
        int total = 0;
        for (const auto& service : m_services) {
            counts.push_back(std::max(service->deviceCount(), 0));
            total += counts.back();
        }
        const std::lock_guard lock(m_mutex);
        m_counts = std::move(counts);
        return total;
    }
    std::string productName(int device) override
    {
        const auto [service, index] = find(device);
        return service ? service->productName(index) : std::string();
    }
    bool open(int device, MidiInputSink& sink) override
    {
        const auto [service, index] = find(device);
        return service && service->open(index, sink);
    }
    void close(int device) override
    {
        if (const auto [service, index] = find(device); service) {
            service->close(index);
        }
    }
    bool connected(int device) override
    {
        const auto [service, index] = find(device);
        return service && service->connected(index);
    }
    bool realtime(int device) override
    {
        const auto [service, index] = find(device);
        return service && service->realtime(index);
    }
    bool tellsOfChanges(int device) override
    {
        const auto [service, index] = find(device);
        return service && service->tellsOfChanges(index);
    }

private:
    std::pair<MidiInputService*, int> find(int device)
    {
        const std::lock_guard lock(m_mutex);
        for (std::size_t at = 0; device >= 0 && at < m_counts.size(); ++at) {
            if (device < m_counts[at]) {
                return {m_services[at].get(), device};
            }
            device -= m_counts[at];
        }
        return {nullptr, -1};
    }

    std::vector<std::unique_ptr<MidiInputService>> m_services;
    std::mutex m_mutex;
    std::vector<int> m_counts;
};

}  // namespace

MidiInputService& midiInputs()
{
    static MidiInputChain inputs;
    return inputs;
}
