#include "cli/StandardStreams.h"

#ifdef _WIN32
#include "base/TextEncoding.h"

#include <cstdio>

#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <shellapi.h>
#endif

std::vector<std::string> commandLineArguments(int argc, char** argv)
{
#ifdef _WIN32
    int count = 0;
    if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        std::vector<std::string> args;
        for (int i = 0; i < count; ++i) {
            args.push_back(utf8FromUtf16(reinterpret_cast<const char16_t*>(wide[i])));
        }
        LocalFree(wide);
        return args;
    }
#endif
    return std::vector<std::string>(argv, argv + argc);
}

void useBinaryStandardStreams()
{
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    SetConsoleOutputCP(CP_UTF8);
#endif
}
