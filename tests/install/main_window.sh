# Sourced by the install and package tests, which run under run-with-xvfb --wm.

fail() {
    echo "FAIL: $1"
    [ -n "${run_log:-}" ] && [ -f "$run_log" ] && cat "$run_log"
    exit 1
}

# wait_for_main_window <pid or "">: waits until the main window "frameLock PRO" is up and sets
# window_pid to the process that shows it. Fails when the program ends first (a given pid), shows no window in
# 20 seconds, or did not find its language files (their message box stands beside the window).
wait_for_main_window() {
    local started=$1 windows shown=
    for _ in $(seq 1 80); do
        sleep 0.25
        [ -z "$started" ] || kill -0 "$started" 2>/dev/null || fail "the program ended early"
        windows=$(wmctrl -lp 2>/dev/null)
        grep -q 'Interface Setup' <<<"$windows" && fail "the program did not find its language files"
        shown=$(awk '/ frameLock PRO$/ { print $3; exit }' <<<"$windows")
        [ -n "$shown" ] && break
    done
    [ -n "$shown" ] || fail "the program showed no main window"
    # A broken language file shows its message only after the window; give it the same time.
    sleep 1
    grep -q 'Interface Setup' <<<"$(wmctrl -l)" && fail "the program did not find its language files"
    window_pid=$shown
}
