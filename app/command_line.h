#pragma once

#include <string>

// What the command line asks for before the program needs a display. Only "--help" ("-h") and
// "--version" are the program's own; every other argument is left to Qt (-display, -platform).
struct CommandLineRequest {
    // False: print `text` to the standard output and end with exit code 0, without a window.
    bool run = true;
    std::string text;
};

CommandLineRequest readCommandLine(int argc, const char* const* argv);
