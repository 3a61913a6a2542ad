#pragma once

#include <QObject>

#include <functional>
#include <mutex>
#include <vector>

// Calls a worker hands to the GUI thread, run there in the order posted. They
// cross under a lock of their own and Qt carries only a call by name: Qt's
// event queue is not built with ThreadSanitizer, which would take a call's
// captured values, made on the worker and read on the GUI thread, for a race.
// Declare it before the worker's owner, so that the worker is joined first.
class GuiCalls : public QObject {
    Q_OBJECT

public:
    GuiCalls() = default;
    // Any thread: `call` runs on the GUI thread soon after.
    void post(std::function<void()> call);

private:
    Q_INVOKABLE void run();

    std::mutex m_mutex;
    std::vector<std::function<void()>> m_calls;  // guarded by m_mutex
};
