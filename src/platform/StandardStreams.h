#pragma once

#include <string>
#include <vector>

// The program's arguments in UTF-8: on Windows taken from the wide-character
// command line, so that a file named in any script comes through whatever
// the code page.
std::vector<std::string> commandLineArguments(int argc, char** argv);

// Standard output and standard error written byte for byte: the CSV lines
// end in LF on every platform (no CR added on Windows), and a Windows console
// shows the UTF-8 text as such.
void useBinaryStandardStreams();
