#include "platform/Environment.h"

std::filesystem::path pathFromUtf8(std::string_view name)
{
    return std::filesystem::path(std::u8string(reinterpret_cast<const char8_t*>(name.data()), name.size()));
}

std::string utf8FromPath(const std::filesystem::path& path)
{
    const std::u8string name = path.u8string();
    return std::string(reinterpret_cast<const char*>(name.data()), name.size());
}
