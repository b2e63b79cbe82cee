#!/usr/bin/env bash
# Saves what an installer meets in the real program, in English (_en) and German (_ge): a Slave
# without its Master (slave_refused) and with a Master's name that does not resolve
# (slave_badname), a Master whose check at Start fails (master_check, and master_check_wide in a
# widened window), a media file missing at start (missing_media, and missing_media_opened once it
# is there), a file choice that cannot be played (file_choice), Help without a browser
# (help_failed), a bug report without a mail program (about_nomail), Qt's own question buttons
# (set_in) and file dialog (file_dialog), settings that cannot be written (unwritable), a second
# copy (second_copy) and a damaged language file (damaged_language), on a machine whose
# desktop has no browser and no mail program (or refuses them to root). Runs as root in a
# private network namespace under a private Xvfb.
#   tools/screenshots/installer_shots.sh [build directory] [output directory]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source-path=SCRIPTDIR source=common.sh
. "$here/common.sh"
if [ -z "${FL_INSTALLER_SHOTS:-}" ]; then
    FL_INSTALLER_SHOTS=1 exec unshare --net sh -c 'ip link set lo up && exec "$0" --screen 1280x800 --wm "$1" "$2" "$3"' \
        "$root/tests/support/run-with-xvfb" "$0" "$build" "$out"
fi

shots_scratch installer-shots
printf 'not a video' >"$work/broken.avi"

# instance <dir> <Master True|False> <clip> <german 0|1> [extra settings lines]
instance() {
    local dir=$1 master=$2 clip=$3 german=$4 extra=${5:-} count=0 slave=True
    [ "$master" = True ] && slave=False
    mkdir -p "$dir"
    cp "$build/frameLock" "$build"/*.lng "$build"/*.htm "$dir/"
    {
        printf '[System]\neFilename_Text=%s\neIn_Value=0\n' "$clip"
        printf 'rbMaster_Checked=%s\nrbSlave_Checked=%s\n' "$master" "$slave"
        printf 'rbLan_Checked=True\nrbCom_Checked=False\n'
        printf 'sbUSA_Down=%s\nsbGerman_Down=%s\n' "$([ "$german" = 1 ] && echo False || echo True)" \
            "$([ "$german" = 1 ] && echo True || echo False)"
        printf 'cbRepeat_Checked=True\nComportsNr_ktBoolean=False\nOpenTimer_Interval=3000\n'
        [ -n "$extra" ] && printf '%b' "$extra"
        printf '[System.lbCut_Items]\nCount=5\n'
        for point in 0 50 100 150 200; do
            printf 'Item%d=%d\n' "$count" "$point"
            count=$((count + 1))
        done
    } | sed 's/$/\r/' >"$dir/frameLock.ini"
}

start() {
    (cd "$1" && exec ./frameLock >run.log 2>&1) &
    pids+=($!)
    last=$!
}

stop_all() {
    kill "${pids[@]}" 2>/dev/null || true
    wait 2>/dev/null || true
    pids=()
}

wait_log() {
    local file=$1 pattern=$2 tries=0
    until grep -q "$pattern" "$file" 2>/dev/null; do
        sleep 0.1
        tries=$((tries + 1))
        if [ "$tries" -gt 300 ]; then
            echo "no '$pattern' in $file" >&2
            return 1
        fi
    done
}

main_window() {
    xdotool search --all --onlyvisible --pid "$1" --name '^frameLock PRO$' | head -1
}

# The whole screen, cut to what is on it.
snap() {
    sleep 0.8
    import -window root "$out/$1.png"
    convert "$out/$1.png" -trim +repage "$out/$1.png"
    echo "$out/$1.png"
}

click() {
    xdotool mousemove --window "$1" "$2" "$3" click 1
}

for german in 0 1; do
    lang=$([ "$german" = 1 ] && echo ge || echo en)

    instance "$work/$lang/refused" False "$work/show.avi" "$german" 'Client_Port=8234\n'
    start "$work/$lang/refused"
    wait_log "$work/$lang/refused/frameLock.log" 'error 10061'
    snap "slave_refused_$lang"
    stop_all

    instance "$work/$lang/badname" False "$work/show.avi" "$german" \
        'eSlaveIP_Text=show-master-in-the-basement.invalid\n'
    start "$work/$lang/badname"
    wait_log "$work/$lang/badname/frameLock.log" 'error 10014'
    snap "slave_badname_$lang"
    stop_all

    instance "$work/$lang/check/master" True "$work/show.avi" "$german" 'cbAutoStart_Checked=True\n'
    instance "$work/$lang/check/s1" False "$work/short.avi" "$german"
    instance "$work/$lang/check/s2" False "$work/$lang-missing.avi" "$german"
    start "$work/$lang/check/s1"
    start "$work/$lang/check/s2"
    start "$work/$lang/check/master"
    wait_log "$work/$lang/check/master/frameLock.log" 'check at Start:'
    # The box of the Slave whose file is missing is not this shot's.
    for w in $(xdotool search --all --onlyvisible --pid "${pids[1]}" 2>/dev/null); do
        xdotool windowminimize "$w" 2>/dev/null || true
    done
    window=$(main_window "$last")
    xdotool windowactivate --sync "$window" 2>/dev/null || true
    snap "master_check_$lang"
    # Widened by the operator: the status box and the list take the room.
    xdotool windowsize "$window" 600 700
    snap "master_check_wide_$lang"
    stop_all

    instance "$work/$lang/missing" False "$work/$lang/late.avi" "$german"
    start "$work/$lang/missing"
    wait_log "$work/$lang/missing/frameLock.log" 'trying again'
    snap "missing_media_$lang"
    cp "$work/show.avi" "$work/$lang/late.avi"
    wait_log "$work/$lang/missing/frameLock.log" "opened $work/$lang/late.avi"
    snap "missing_media_opened_$lang"

    window=$(main_window "$last")
    click "$window" 219 146
    sleep 1.5
    xdotool type --delay 20 "$work/broken.avi"
    xdotool key Return
    wait_log "$work/$lang/missing/frameLock.log" "open failed $work/broken.avi"
    snap "file_choice_$lang"
    xdotool key Return
    sleep 0.5

    stop_all

    instance "$work/$lang/help" True "$work/show.avi" "$german"
    start "$work/$lang/help"
    wait_log "$work/$lang/help/frameLock.log" 'listening on port'
    sleep 1
    window=$(main_window "$last")
    click "$window" 108 24
    wait_log "$work/$lang/help/frameLock.log" 'no viewer opened the help page'
    snap "help_failed_$lang"

    click "$window" 40 24
    sleep 1.5
    about=$(xdotool search --all --onlyvisible --name '^(About|Info)$' | head -1)
    click "$about" 241 373
    sleep 3
    snap "about_nomail_$lang"
    stop_all

    # Qt's own words: a question's buttons (Set In) and the file dialog; then the settings file
    # made unwritable and the window closed ("Unable to write").
    instance "$work/$lang/qt" True "$work/show.avi" "$german"
    start "$work/$lang/qt"
    wait_log "$work/$lang/qt/frameLock.log" 'listening on port'
    sleep 1
    window=$(main_window "$last")
    click "$window" 292 411
    sleep 1
    snap "set_in_$lang"
    xdotool key Escape
    sleep 0.5
    click "$window" 219 146
    sleep 1.5
    snap "file_dialog_$lang"
    xdotool key Escape
    sleep 0.5
    rm "$work/$lang/qt/frameLock.ini"
    mkdir "$work/$lang/qt/frameLock.ini"
    wmctrl -i -c "$window"
    sleep 1.5
    snap "unwritable_$lang"
    stop_all

    # A second copy started from the same directory, and a language file cut short.
    instance "$work/$lang/two" True "$work/show.avi" "$german"
    start "$work/$lang/two"
    wait_log "$work/$lang/two/frameLock.log" 'listening on port'
    start "$work/$lang/two"
    sleep 2
    snap "second_copy_$lang"
    stop_all
    instance "$work/$lang/damaged" True "$work/show.avi" "$german"
    file=$([ "$german" = 1 ] && echo german.lng || echo english.lng)
    head -c 2000 "$build/$file" >"$work/$lang/damaged/$file"
    start "$work/$lang/damaged"
    sleep 3
    snap "damaged_language_$lang"
    stop_all
done
