#include "platform/Environment.h"

#include "platform/TextEncoding.h"

#include <cstdlib>

#include <windows.h>

std::optional<std::string> environmentVariable(const char* name)
{
    const std::u16string wide = utf16FromUtf8(name);
    const auto* value = reinterpret_cast<const char16_t*>(_wgetenv(reinterpret_cast<const wchar_t*>(wide.c_str())));
    if (value == nullptr) {
        return std::nullopt;
    }
    return utf8FromUtf16(value);
}

std::string defaultConfigFolder()
{
    if (const auto appData = environmentVariable("APPDATA"); appData && !appData->empty()) {
        return *appData;
    }
    return environmentVariable("USERPROFILE").value_or("") + "/AppData/Roaming";
}
