#pragma once

#include "base/Diagnostics.h"

#include <string>

// The core's lines as a front end would print them, each with its newline.
struct PrintedLines final : DiagnosticSink {
    void diagnostic(const std::string& line) override { text += line + '\n'; }
    std::string text;
};
