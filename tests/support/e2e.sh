# End-to-end test helpers: start the real programs under the test display
# and drive them with real X input (xdotool). Source this file; it expects
# BUILD_DIR, SOURCE_DIR and X11_CLOSE in the environment (CTest sets them).
set -euo pipefail

: "${BUILD_DIR:?BUILD_DIR must name the build folder}"
: "${DISPLAY:?end-to-end tests need an X display (run under xvfb-run)}"
X11_CLOSE=${X11_CLOSE:-$BUILD_DIR/tests/x11_close}

E2E_TMP=$(mktemp -d /tmp/diagrams-e2e.XXXXXX)
declare -a E2E_PIDS=()
declare -a E2E_LOGS=()

e2e_cleanup() {
    local pid
    for pid in "${E2E_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
    if [ "${E2E_KEEP:-0}" = 1 ]; then echo "kept $E2E_TMP"; else rm -rf "$E2E_TMP"; fi
}
trap e2e_cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    local log
    for log in "${E2E_LOGS[@]}"; do
        [ -s "$log" ] && { echo "--- $log (last lines):" >&2; tail -n 20 "$log" >&2; }
    done
    [ -n "${E2E_SHOT_ON_FAIL:-}" ] && import -window root "$E2E_SHOT_ON_FAIL" 2>/dev/null || true
    exit 1
}

# start_program LOG COMMAND [ARG...]: runs it in the background in the
# current folder; its pid is in $LAST_PID, its output in LOG.
start_program() {
    local log=$1; shift
    "$@" >"$log" 2>&1 &
    LAST_PID=$!
    E2E_LOGS+=("$log")
    E2E_PIDS+=("$LAST_PID")
}

# wait_window PID TITLE [SECONDS]: prints the X id of the program's visible
# top-level window with exactly that title.
wait_window() {
    local pid=$1 title=$2 limit=${3:-20} id
    local end=$((SECONDS + limit))
    while [ $SECONDS -lt $end ]; do
        id=$(xdotool search --all --onlyvisible --pid "$pid" --name "^${title}\$" 2>/dev/null | head -n 1) || true
        if [ -n "$id" ]; then
            sleep 0.3
            echo "$id"
            return 0
        fi
        kill -0 "$pid" 2>/dev/null || fail "program $pid ended before showing '$title'"
        sleep 0.1
    done
    fail "no window '$title' of $pid within ${limit}s"
}

# window_origin WID: "X Y" of the window's client area on the screen.
window_origin() {
    xwininfo -id "$1" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF} END {print x, y}'
}

# click WID X Y [BUTTON]: a real click at (X, Y) of the window's client area.
click() {
    local wid=$1 x=$2 y=$3 button=${4:-1} ox oy
    read -r ox oy < <(window_origin "$wid")
    # No --sync: it waits for a motion that never comes when the pointer is there already.
    xdotool mousemove $((ox + x)) $((oy + y)) sleep 0.05 click "$button"
    sleep 0.15
}

# focus WID: gives the window the keyboard focus.
focus() {
    xdotool windowfocus --sync "$1" 2>/dev/null || xdotool windowfocus "$1"
    sleep 0.1
}

# type_text TEXT: types into the focused window (any Unicode text).
type_text() {
    xdotool type --delay 40 -- "$1"
    sleep 0.2
}

# key KEY...: presses keys by name (Return, Escape, ctrl+a, ...).
key() {
    xdotool key --delay 60 "$@"
    sleep 0.2
}

# close_window WID: the window manager's close request.
close_window() {
    "$X11_CLOSE" "$1"
    sleep 0.2
}

# wait_exit PID [SECONDS]: waits for the program to end; its status in $EXIT_STATUS.
wait_exit() {
    local pid=$1 limit=${2:-20}
    local end=$((SECONDS + limit))
    while kill -0 "$pid" 2>/dev/null; do
        [ $SECONDS -lt $end ] || fail "program $pid still running after ${limit}s"
        sleep 0.1
    done
    set +e
    wait "$pid"
    EXIT_STATUS=$?
    set -e
}

# wait_for_file PATH [SECONDS]
wait_for_file() {
    local path=$1 limit=${2:-20}
    local end=$((SECONDS + limit))
    until [ -s "$path" ]; do
        [ $SECONDS -lt $end ] || fail "no file $path within ${limit}s"
        sleep 0.1
    done
    sleep 0.3
}

# screenshot FILE: the whole screen as a picture.
screenshot() { import -window root "$1"; }
