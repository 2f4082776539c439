# End-to-end test helpers: start the real programs under the test display
# and drive them with real X input (xdotool). Source this file; it expects
# BUILD_DIR, SOURCE_DIR and X11_CLOSE in the environment (CTest sets them).
#
# The display must not reset when its last client leaves (Xvfb -noreset, as
# tools/test.sh starts it): a reset drops every client still connecting, so
# a program started just as an xdotool call ends could not open the display.
set -euo pipefail

: "${BUILD_DIR:?BUILD_DIR must name the build folder}"
: "${DISPLAY:?end-to-end tests need an X display (run under xvfb-run)}"
X11_CLOSE=${X11_CLOSE:-$BUILD_DIR/tests/x11_close}

E2E_TMP=$(mktemp -d /tmp/diagrams-e2e.XXXXXX)
declare -a E2E_PIDS=()
declare -a E2E_LOGS=()
declare -A E2E_STATUS_FILES=()

# e2e_alive PID: the process is there and not a zombie.
e2e_alive() {
    local state
    state=$(ps -o stat= -p "$1" 2>/dev/null) || return 1
    [[ $state != Z* ]]
}

# e2e_cleanup: ends what the test left running and waits until it is gone,
# so that the next test on the same display starts with none of it (an
# exiting window manager would still manage its windows).
e2e_cleanup() {
    local pid status_file end
    local -a ended=()
    for pid in "${E2E_PIDS[@]}"; do
        # A program whose watcher has its status has ended; its pid may
        # belong to another process by now.
        status_file=${E2E_STATUS_FILES[$pid]:-}
        [ -n "$status_file" ] && [ -s "$status_file" ] && continue
        e2e_alive "$pid" || continue
        # Its children too: a runner such as /usr/bin/time leaves the
        # program it runs behind.
        pkill -TERM -P "$pid" 2>/dev/null || true
        if kill "$pid" 2>/dev/null; then ended+=("$pid"); fi
    done
    end=$((SECONDS + 10))
    for pid in "${ended[@]}"; do
        while e2e_alive "$pid" && [ $SECONDS -lt $end ]; do sleep 0.05; done
        e2e_alive "$pid" && { kill -KILL "$pid" 2>/dev/null || true; }
        wait "$pid" 2>/dev/null || true  # reaps the test's own children; watchers reap the others
    done
    if [ "${E2E_KEEP:-0}" = 1 ]; then echo "kept $E2E_TMP"; else rm -rf "$E2E_TMP"; fi
}
trap e2e_cleanup EXIT

# describe_status STATUS: an exit status in words (a signal by its name).
describe_status() {
    if [ "$1" -gt 128 ]; then
        echo "killed by signal $(kill -l "$(($1 - 128))" 2>/dev/null || echo "$(($1 - 128))")"
    else
        echo "exit status $1"
    fi
}

fail() {
    echo "FAIL: $*" >&2
    local log
    for log in "${E2E_LOGS[@]}"; do
        [ -s "$log.status" ] && echo "--- $log: the program ended, $(describe_status "$(cat "$log.status")")" >&2
        [ -s "$log" ] && { echo "--- $log (last lines):" >&2; tail -n 20 "$log" >&2; }
    done
    [ -n "${E2E_SHOT_ON_FAIL:-}" ] && import -window root "$E2E_SHOT_ON_FAIL" 2>/dev/null || true
    exit 1
}

# start_program LOG COMMAND [ARG...]: runs it in the background in the
# current folder; its pid is in $LAST_PID, its output in LOG. A watcher
# waits for it and keeps its exit status in LOG.status, so that a program
# that dies without a word (a crash) still says how it ended.
start_program() {
    local log=$1; shift
    rm -f "$log.pid" "$log.status"
    (
        "$@" >"$log" 2>&1 &
        echo $! >"$log.pid"
        status=0
        wait $! || status=$?
        echo "$status" >"$log.status.new"
        mv "$log.status.new" "$log.status"
    ) &
    until [ -s "$log.pid" ]; do sleep 0.01; done
    LAST_PID=$(cat "$log.pid")
    E2E_LOGS+=("$log")
    E2E_PIDS+=("$LAST_PID")
    E2E_STATUS_FILES[$LAST_PID]=$log.status
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
        if ! kill -0 "$pid" 2>/dev/null; then
            local status_file=${E2E_STATUS_FILES[$pid]:-} status="?"
            if [ -n "$status_file" ]; then
                for _ in $(seq 50); do [ -s "$status_file" ] && break; sleep 0.02; done
                [ -s "$status_file" ] && status=$(describe_status "$(cat "$status_file")")
            fi
            fail "program $pid ended ($status) before showing '$title'"
        fi
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
    local status_file=${E2E_STATUS_FILES[$pid]:-}
    if [ -n "$status_file" ]; then
        end=$((SECONDS + 5))
        until [ -s "$status_file" ]; do
            [ $SECONDS -lt $end ] || fail "no exit status of $pid"
            sleep 0.02
        done
        EXIT_STATUS=$(cat "$status_file")
    else
        set +e
        wait "$pid"
        EXIT_STATUS=$?
        set -e
    fi
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

# size WID: "W H" of the window's client area.
size() { xwininfo -id "$1" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w, h}'; }

# new_window PID EXCEPT...: waits for a visible window of the program that
# is none of the given ones; prints its id.
new_window() {
    local pid=$1 id known k
    shift
    local end=$((SECONDS + 20))
    while [ $SECONDS -lt $end ]; do
        for id in $(xdotool search --all --onlyvisible --pid "$pid" --name '' 2>/dev/null); do
            known=0
            for k in "$@"; do [ "$((id))" = "$((k))" ] && known=1; done
            [ $known = 0 ] && { sleep 0.5; echo "$id"; return 0; }
        done
        sleep 0.1
    done
    fail "no new window of $pid"
}

# gone ID: waits until the window is no longer on show.
gone() {
    local end=$((SECONDS + 10))
    while xwininfo -id "$1" 2>/dev/null | grep -q 'IsViewable'; do
        [ $SECONDS -lt $end ] || fail "window $1 stayed open"
        sleep 0.1
    done
}

# A message's OK button, and a question's two buttons, by their place from
# the dialog's bottom-right corner (GTK's layout of these dialogs).
press_ok() {
    local w h
    read -r w h < <(size "$1")
    click "$1" $((w - 50)) $((h - 28))
    gone "$1"
}
press_question() {  # press_question WID replace|cancel
    local w h x
    read -r w h < <(size "$1")
    if [ "$2" = replace ]; then x=$((w - 55)); else x=$((w - 150)); fi
    click "$1" "$x" $((h - 28))
    gone "$1"
}
