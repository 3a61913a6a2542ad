#include "app/M3u.h"

#include "platform/Environment.h"

#include <algorithm>

namespace {

bool isControl(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return (byte < 0x20 && c != '\t') || byte == 0x7F;
}

}  // namespace

M3uPaths m3uPaths(std::string_view text, const std::string& m3uPath)
{
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (text.starts_with(kByteOrderMark)) {
        text.remove_prefix(kByteOrderMark.size());
    }
    const std::filesystem::path folder = pathFromUtf8(m3uPath).parent_path();
    M3uPaths result;
    int number = 0;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find_first_of("\r\n"), text.size());
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end);
        // "\r\n" is one line end, as are "\n" and "\r" alone.
        text.remove_prefix(text.starts_with("\r\n") ? 2 : text.empty() ? 0 : 1);
        ++number;
        if (line.empty() || line.front() == '#') {
            continue;
        }
        if (std::any_of(line.begin(), line.end(), isControl)) {
            return {{}, "Error: " + m3uPath + " line " + std::to_string(number) + ": not a path"};
        }
        const std::filesystem::path path = pathFromUtf8(line);
        result.paths.push_back(utf8FromPath(path.is_absolute() ? path : (folder / path).lexically_normal()));
    }
    return result;
}

std::string m3uText(const std::vector<std::string>& paths)
{
    std::string text = "#EXTM3U\n";
    for (const std::string& path : paths) {
        text += path + '\n';
    }
    return text;
}
