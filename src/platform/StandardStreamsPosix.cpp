#include "platform/StandardStreams.h"

std::vector<std::string> commandLineArguments(int argc, char** argv)
{
    return std::vector<std::string>(argv, argv + argc);
}

void useBinaryStandardStreams() {}
