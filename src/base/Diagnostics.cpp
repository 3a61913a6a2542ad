#include "base/Diagnostics.h"

#include <ostream>

namespace {

class NoDiagnostics final : public DiagnosticSink {
public:
    void diagnostic(const std::string&) override {}
};

}  // namespace

DiagnosticSink& noDiagnostics()
{
    static NoDiagnostics none;
    return none;
}

void StreamDiagnostics::diagnostic(const std::string& line)
{
    const std::lock_guard lock(m_mutex);
    m_out << line << '\n' << std::flush;
}
