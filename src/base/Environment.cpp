#include "base/Environment.h"

#include "base/TextEncoding.h"

#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#else
#include <pwd.h>
#include <unistd.h>
#endif

std::optional<std::string> environmentVariable(const char* name)
{
#ifdef _WIN32
    const std::u16string wide = utf16FromUtf8(name);
    const auto* value = reinterpret_cast<const char16_t*>(_wgetenv(reinterpret_cast<const wchar_t*>(wide.c_str())));
    if (value == nullptr) {
        return std::nullopt;
    }
    return utf8FromUtf16(value);
#else
    const char* value = std::getenv(name);
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
#endif
}

std::string defaultConfigFolder()
{
#ifdef _WIN32
    if (const auto appData = environmentVariable("APPDATA"); appData && !appData->empty()) {
        return *appData;
    }
    return environmentVariable("USERPROFILE").value_or("") + "/AppData/Roaming";
#else
    const passwd* entry = ::getpwuid(::getuid());
    return std::string(entry != nullptr && entry->pw_dir != nullptr ? entry->pw_dir : "") + "/.config";
#endif
}

std::filesystem::path pathFromUtf8(std::string_view name)
{
    return std::filesystem::path(std::u8string(reinterpret_cast<const char8_t*>(name.data()), name.size()));
}

std::string utf8FromPath(const std::filesystem::path& path)
{
    const std::u8string name = path.u8string();
    return std::string(reinterpret_cast<const char*>(name.data()), name.size());
}
