#include "e2e/RecorderLog.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <ios>
#include <sstream>

RecorderLog RecorderLog::read(const std::string& path)
{
    RecorderLog log;
    std::ifstream in(path, std::ios::binary);
    std::ostringstream whole;
    whole << in.rdbuf();
    const std::string text = whole.str();
    // Only whole lines: the recorder may be in the middle of writing one.
    std::size_t start = 0;
    for (std::size_t end = text.find('\n'); end != std::string::npos; start = end + 1, end = text.find('\n', start)) {
        const std::string line = text.substr(start, end - start);
        if (line == "end") {
            log.ended = true;
            continue;
        }
        std::istringstream fields(line);
        Event event;
        if (!(fields >> event.frame >> event.usecs)) {
            continue;  // "dropped N", or a line still being written
        }
        unsigned int byte = 0;
        while (fields >> std::hex >> byte) {
            event.bytes.push_back(static_cast<std::uint8_t>(byte));
        }
        log.events.push_back(std::move(event));
    }
    return log;
}

std::string hexBytes(const std::vector<std::uint8_t>& bytes)
{
    std::string text;
    char piece[4];
    for (const std::uint8_t byte : bytes) {
        std::snprintf(piece, sizeof piece, "%02x", static_cast<unsigned>(byte));
        text += text.empty() ? "" : " ";
        text += piece;
    }
    return text;
}

std::string fixtureVariable(const char* name)
{
    const char* value = std::getenv(name);
    if (!value || !*value) {
        std::fprintf(stderr, "%s is not set: run this under tests/e2e/with_jack.sh\n", name);
        std::exit(2);
    }
    return value;
}
