#!/usr/bin/env bash
# Saves splash.png, splash_counting.png, about.png, leds.png and spin.png of the widgets, and the
# main window in each role and link in English and German (master_lan_en.png ... slave_com_ge.png),
# as a private Xvfb shows them, and the real window with real media during a show (master_show_en.png,
# slave_en.png, desktop_en.png, master_locked_en.png and the same in German).
#   tools/screenshots/take_screenshots.sh [build directory] [output directory]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:-$root/build}
out=${2:-$build/screenshots}
cmake --build "$build" --target widget_screenshots main_form_preview main_window_screenshots >/dev/null
mkdir -p "$out"
"$root/tests/support/run-with-xvfb" "$build/widget_screenshots" "$out"
"$root/tests/support/run-with-xvfb" "$build/main_form_preview" "$out"
"$root/tests/support/run-with-xvfb" "$build/main_window_screenshots" "$out"
ls -1 "$out"/*.png
