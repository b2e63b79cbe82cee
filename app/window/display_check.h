#pragma once

#include <optional>
#include <string>

// Whether the X display the program would open is there, asked before QApplication, which
// aborts the program when its X11 platform cannot connect. Only a start on the X11 platform is
// checked: another platform (Qt's offscreen one for tests, Wayland) is left to Qt. Returns the
// message for the standard error output when there is no display, nothing otherwise.
std::optional<std::string> missingDisplay(int argc, const char* const* argv);
