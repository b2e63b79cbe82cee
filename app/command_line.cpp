#include "app/command_line.h"

#include "app/exit_codes.h"
#include "widgets/product_info.h"

#include <string_view>

namespace {

std::string versionText() {
    return product::kTitleWithVersion.toStdString() + '\n';
}

std::string helpText() {
    return "Usage: framelock [--help] [--version] [Qt options, e.g. -display :1]\n"
           "\n"
           "frameLock PRO keeps media playback in step across several computers: a Master drives\n"
           "its Slaves over TCP (port 8234) or serial lines and shares its clock on UDP port "
           "8235.\n"
           "Without an option the program opens its window; everything else is set there.\n"
           "\n"
           "Options:\n"
           "  -h, --help     print this help and exit\n"
           "      --version  print the version and exit\n"
           "\n"
           "Files, beside the program (/opt/framelock for the package):\n"
           "  frameLock.ini       the settings, written when the window closes\n"
           "  frameLock.log       the event log, when it is switched on\n"
           "  frameLock-show.csv  the Master's show report, one line per segment start\n"
           "  frameLock.lock      locked while the program runs, against a second copy\n"
           "\n"
           "Environment:\n"
           "  QT_LOGGING_RULES=\"framelock.*=true\"  switches the event log on for this run\n"
           "\n"
           "Exit status: 0 when the window is closed, on \"Q\", SIGTERM or SIGINT; 1 when a\n"
           "language file is missing or damaged; " +
           std::to_string(kExitAlreadyRunning) +
           " when a copy already runs from the same\n"
           "directory; " +
           std::to_string(kExitNoDisplay) +
           " when there is no display.\n"
           "\n"
           "The help pages help.htm and dhelp.htm beside the program describe the show.\n";
}

}  // namespace

CommandLineRequest readCommandLine(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            return {false, helpText()};
        }
        if (argument == "--version") {
            return {false, versionText()};
        }
    }
    return {};
}
