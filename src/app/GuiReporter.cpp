#include "app/GuiReporter.h"

GuiReporter::GuiReporter(Handlers handlers, QObject* parent) : QObject(parent), m_handlers(std::move(handlers))
{
}

void GuiReporter::statusText(const std::string& text)
{
    std::lock_guard lock(m_mutex);
    m_texts.push_back(text);
    postLocked();
}

void GuiReporter::progress(int position)
{
    std::lock_guard lock(m_mutex);
    m_progress = position;
    postLocked();
}

void GuiReporter::controllerLost()
{
    std::lock_guard lock(m_mutex);
    m_lost = true;
    postLocked();
}

void GuiReporter::workerFinished(std::uint64_t generation)
{
    std::lock_guard lock(m_mutex);
    m_finished.push_back(generation);
    postLocked();
}

void GuiReporter::postLocked()
{
    if (m_posted) {
        return;
    }
    m_posted = true;
    // Only the receiver goes through Qt's event queue; the data stays in the
    // mailbox under our own lock.
    QMetaObject::invokeMethod(this, "deliver", Qt::QueuedConnection);
}

void GuiReporter::deliver()
{
    std::vector<std::string> texts;
    std::optional<int> position;
    std::vector<std::uint64_t> finished;
    bool lost = false;
    {
        std::lock_guard lock(m_mutex);
        std::swap(lost, m_lost);
        texts.swap(m_texts);
        position.swap(m_progress);
        finished.swap(m_finished);
        m_posted = false;
    }
    for (const std::string& text : texts) {
        if (m_handlers.status) {
            m_handlers.status(QString::fromStdString(text));
        }
    }
    if (position && m_handlers.progress) {
        m_handlers.progress(*position);
    }
    if (lost && m_handlers.controllerLost) {
        m_handlers.controllerLost();
    }
    for (const std::uint64_t generation : finished) {
        if (m_handlers.finished) {
            m_handlers.finished(generation);
        }
    }
}
