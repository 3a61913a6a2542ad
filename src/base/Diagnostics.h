#pragma once

#include <iosfwd>
#include <mutex>
#include <string>

// Where the core's lines for a person go: the reader's diagnostics and the
// note list's tempo changes. The core never prints; the caller hands it a
// sink, and each front end supplies its own (the panel prints the lines on
// standard output, the command-line tool on standard error, in its own
// order with its other lines).
class DiagnosticSink {
public:
    virtual ~DiagnosticSink() = default;
    // One line, without its newline, as the core makes it. Called on the
    // thread that reads the song; a sink shared by threads guards itself.
    virtual void diagnostic(const std::string& line) = 0;
};

// Drops every line: for callers that use what a read keeps
// (ReadResult::diagnostics), and for tests, benchmarks and the fuzz targets.
DiagnosticSink& noDiagnostics();

// Writes each line whole to `out` and flushes it; any thread.
class StreamDiagnostics : public DiagnosticSink {
public:
    explicit StreamDiagnostics(std::ostream& out) : m_out(out) {}
    void diagnostic(const std::string& line) override;

private:
    std::mutex m_mutex;
    std::ostream& m_out;
};
