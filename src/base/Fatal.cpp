#include "base/Fatal.h"

#include <cstdlib>
#include <iostream>

void fatalError(std::string_view line)
{
    std::cerr << line << '\n' << std::flush;
    std::exit(1);
}
