#include "app/GuiCalls.h"

#include <QMetaObject>

void GuiCalls::post(std::function<void()> call)
{
    {
        const std::lock_guard lock(m_mutex);
        m_calls.push_back(std::move(call));
    }
    QMetaObject::invokeMethod(this, "run", Qt::QueuedConnection);
}

void GuiCalls::run()
{
    std::vector<std::function<void()>> calls;
    {
        const std::lock_guard lock(m_mutex);
        calls.swap(m_calls);
    }
    for (const auto& call : calls) {
        call();
    }
}
