#include "platform/StandardStreams.h"

#include "platform/TextEncoding.h"

#include <cstdio>

#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <shellapi.h>

std::vector<std::string> commandLineArguments(int argc, char** argv)
{
    int count = 0;
    if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        std::vector<std::string> args;
        for (int i = 0; i < count; ++i) {
            args.push_back(utf8FromUtf16(reinterpret_cast<const char16_t*>(wide[i])));
        }
        LocalFree(wide);
        return args;
    }
    return std::vector<std::string>(argv, argv + argc);
}

void useBinaryStandardStreams()
{
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    SetConsoleOutputCP(CP_UTF8);
}
