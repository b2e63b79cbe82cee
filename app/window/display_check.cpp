#include "app/window/display_check.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <string_view>

namespace {

std::string_view environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : std::string_view();
}

// The value of Qt's option `name` ("-platform xcb" or "-platform=xcb"), if given.
std::optional<std::string_view> option(int argc, const char* const* argv, std::string_view name) {
    for (int i = 1; i < argc; ++i) {
        std::string_view argument = argv[i];
        if (argument.starts_with("--")) {
            argument.remove_prefix(1);
        }
        if (argument == name && i + 1 < argc) {
            return argv[i + 1];
        }
        if (argument.starts_with(name) && argument.substr(name.size()).starts_with('=')) {
            return argument.substr(name.size() + 1);
        }
    }
    return std::nullopt;
}

bool startsOnX11(int argc, const char* const* argv) {
    std::string_view platform =
        option(argc, argv, "-platform").value_or(environment("QT_QPA_PLATFORM"));
    if (platform.empty()) {
        // Qt's own choice: X11, unless a Wayland session offers its own platform first.
        return environment("XDG_SESSION_TYPE") != "wayland";
    }
    platform = platform.substr(0, platform.find_first_of(":;"));
    return platform == "xcb";
}

}  // namespace

std::optional<std::string> missingDisplay(int argc, const char* const* argv) {
    if (!startsOnX11(argc, argv)) {
        return std::nullopt;
    }
    const std::string display(option(argc, argv, "-display").value_or(environment("DISPLAY")));
    if (display.empty()) {
        return std::string(
            "frameLock PRO: no display: DISPLAY is not set; the program needs the "
            "desktop session's X display.\n");
    }
    xcb_connection_t* connection = xcb_connect(display.c_str(), nullptr);
    const bool failed = xcb_connection_has_error(connection) != 0;
    xcb_disconnect(connection);
    if (!failed) {
        return std::nullopt;
    }
    return "frameLock PRO: no display: cannot connect to the X display \"" + display +
           "\"; the program needs the desktop session's X display.\n";
}
