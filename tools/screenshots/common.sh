# shellcheck shell=bash
# The set-up of the screenshot scripts that run the real program, sourced with the script's own
# arguments ([build directory] [output directory]) once `here` names the scripts' directory. It
# sets root, build and out (made if missing).
root=$(cd "${here:?the directory of the scripts}/../.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
out=${2:-$build/screenshots}
mkdir -p "$out"
out=$(cd "$out" && pwd)

# shots_scratch <name>: a scratch directory `work` below /tmp, removed at exit together with the
# instances whose process ids the script keeps in `pids`; in it the clips show.avi (300 frames)
# and short.avi (150 frames). The instances' event log is switched on.
shots_scratch() {
    work=$(mktemp -d "/tmp/$1.XXXXXX")
    pids=()
    trap shots_cleanup EXIT
    "$build/clipgen" mjpeg-avi "$work/show.avi" --size 320x240 --frames 300 >/dev/null
    "$build/clipgen" mjpeg-avi "$work/short.avi" --size 320x240 --frames 150 >/dev/null
    export QT_LOGGING_RULES="framelock.*=true;framelock.*.debug=false"
}

shots_cleanup() {
    kill "${pids[@]}" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
