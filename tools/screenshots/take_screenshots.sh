#!/usr/bin/env bash
# Saves splash.png, splash_counting.png, about.png, leds.png and spin.png of the widgets, and the
# main window in each role and link in English and German (master_lan_en.png ... slave_com_ge.png),
# as a private Xvfb shows them.
#   tools/screenshots/take_screenshots.sh [build directory] [output directory]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:-$root/build}
out=${2:-$build/screenshots}
cmake --build "$build" --target widget_screenshots main_form_preview >/dev/null
mkdir -p "$out"
"$root/tests/support/run-with-xvfb" "$build/widget_screenshots" "$out"
"$root/tests/support/run-with-xvfb" "$build/main_form_preview" "$out"
ls -1 "$out"/*.png
