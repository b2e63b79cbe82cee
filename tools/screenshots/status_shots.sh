#!/usr/bin/env bash
# Saves the Master's window during a show with three Slaves on loopback, one of them with a file
# too short for the last Sync point and one that starts a segment late (held up for a moment just
# before a "Play"), in English and in German: status_en.png and status_ge.png.
#   tools/screenshots/status_shots.sh [build directory] [output directory]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source-path=SCRIPTDIR source=common.sh
. "$here/common.sh"
if [ -z "${FL_STATUS_SHOTS_XVFB:-}" ]; then
    FL_STATUS_SHOTS_XVFB=1 exec "$root/tests/support/run-with-xvfb" --wm "$0" "$build" "$out"
fi

shots_scratch status-shots
sync_ms=400

instance() {
    local dir=$1 master=$2 clip=$3 german=$4 port=$5 count=0 slave=True
    [ "$master" = True ] && slave=False
    mkdir -p "$dir"
    cp "$build/frameLock" "$build"/*.lng "$build"/*.htm "$dir/"
    {
        printf '[System]\neFilename_Text=%s\neIn_Value=0\n' "$clip"
        printf 'rbMaster_Checked=%s\nrbSlave_Checked=%s\n' "$master" "$slave"
        printf 'rbLan_Checked=True\nrbCom_Checked=False\neSlaveIP_Text=127.0.0.1\n'
        printf 'Server_Port=%d\nClient_Port=%d\nStartTimer_Interval=%d\ntbSync_Position=%d\n' \
            "$port" "$port" "$sync_ms" "$sync_ms"
        printf 'sbUSA_Down=%s\nsbGerman_Down=%s\n' "$([ "$german" = 1 ] && echo False || echo True)" \
            "$([ "$german" = 1 ] && echo True || echo False)"
        printf 'cbAutoStart_Checked=True\ncbRepeat_Checked=True\nComportsNr_ktBoolean=False\n'
        printf 'OpenTimer_Interval=4000\n[System.lbCut_Items]\nCount=5\n'
        for point in 0 50 100 150 200; do
            printf 'Item%d=%d\n' "$count" "$point"
            count=$((count + 1))
        done
    } | sed 's/$/\r/' >"$dir/frameLock.ini"
}

shot() {
    local german=$1 name=$2 dir="$work/$2" port=$((8400 + $1))
    instance "$dir/master" True "$work/show.avi" "$german" "$port"
    instance "$dir/s1" False "$work/show.avi" "$german" "$port"
    instance "$dir/s2" False "$work/short.avi" "$german" "$port"
    instance "$dir/s3" False "$work/show.avi" "$german" "$port"
    (cd "$dir/master" && exec ./frameLock >run.log 2>&1) &
    local master=$!
    pids+=("$master")
    sleep 1
    local late
    for slave in s1 s2 s3; do
        (cd "$dir/$slave" && exec ./frameLock >run.log 2>&1) &
        pids+=($!)
        late=$!
    done
    # Wait for a cue in the running show, then hold the third Slave up across its "Play".
    local cues
    cues=$(grep -c 'sent DoNC' "$dir/master/frameLock.log" 2>/dev/null || true)
    until [ "$(grep -c 'sent DoNC' "$dir/master/frameLock.log" 2>/dev/null || true)" -gt "$((cues + 1))" ]; do
        sleep 0.02
    done
    sleep "$(awk -v ms="$sync_ms" 'BEGIN { print (ms - 60) / 1000 }')"
    kill -STOP "$late"
    sleep 0.2
    kill -CONT "$late"
    sleep 0.9
    local window
    window=$(xdotool search --all --onlyvisible --pid "$master" --name '^frameLock PRO$' | head -1)
    xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowraise "$window"
    sleep 0.2
    import -window "$window" "$out/$name.png"
    grep 'framelock.sync slave\|check at Start' "$dir/master/frameLock.log" | tail -8
    kill "${pids[@]}" 2>/dev/null || true
    wait "${pids[@]}" 2>/dev/null || true
    pids=()
}

shot 0 status_en
shot 1 status_ge
ls -1 "$out"/status_*.png
