#include "platform/Environment.h"

#include <cstdlib>

#include <pwd.h>
#include <unistd.h>

std::optional<std::string> environmentVariable(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

std::string defaultConfigFolder()
{
    const passwd* entry = ::getpwuid(::getuid());
    return std::string(entry != nullptr && entry->pw_dir != nullptr ? entry->pw_dir : "") + "/.config";
}
