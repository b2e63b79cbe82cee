#pragma once

// The program's exit codes besides 0 (an orderly end) and EXIT_FAILURE (a damaged language
// file). A service manager tells them apart: it gives up on the first, and tries the second
// again until the display is there.
inline constexpr int kExitAlreadyRunning = 3;
inline constexpr int kExitNoDisplay = 4;
