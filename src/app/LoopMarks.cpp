#include "app/LoopMarks.h"

#include "app/StatusTexts.h"

void LoopMarks::reset(const std::optional<LoopRegion>& region, bool on)
{
    m_from = region ? std::optional(region->fromMs) : std::nullopt;
    m_to = region ? std::optional(region->toMs) : std::nullopt;
    m_on = on;
}

void LoopMarks::markStart(int ms)
{
    m_from = ms;
    if (m_to && *m_to <= ms) {
        m_to.reset();
    }
}

void LoopMarks::markEnd(int ms)
{
    m_to = ms;
}

void LoopMarks::toggle()
{
    m_on = !on() && region().has_value();
}

std::optional<LoopRegion> LoopMarks::region() const
{
    const int from = m_from.value_or(0);
    if (!m_to || *m_to <= from) {
        return std::nullopt;
    }
    return LoopRegion{from, *m_to};
}

std::string LoopMarks::text() const
{
    const auto region = this->region();
    const std::string end = region ? clockText(region->toMs) : std::string("?");
    return "Loop " + clockText(region ? region->fromMs : m_from.value_or(0)) + " - " + end + (on() ? " on" : " off");
}
