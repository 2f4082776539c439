#!/usr/bin/env bash
# A program built on the toolkit receives real X clicks in its event loop and
# ends on the window manager's close request.
source "$SOURCE_DIR/tests/support/e2e.sh"

log=$E2E_TMP/demo.log
start_program "$log" "$BUILD_DIR/tests/toolkit/toolkit_demo"
pid=$LAST_PID
wid=$(wait_window "$pid" "toolkit demo")

read -r w h < <(xwininfo -id "$wid" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w, h}')
[ "$w" = 800 ] && [ "$h" = 620 ] || fail "client area is ${w}x${h}, not 800x620"

click "$wid" 95 35          # the button
click "$wid" 230 50         # the image gadget
click "$wid" 230 50 3       # right click on it
click "$wid" 600 400        # nothing there
close_window "$wid"
wait_exit "$pid"

[ "$EXIT_STATUS" = 0 ] || fail "exit status $EXIT_STATUS"
expected=$'ready\ngadget 1 type 0\ngadget 2 type 0\ngadget 2 type 1\nclosed'
[ "$(cat "$log")" = "$expected" ] || fail "events were: $(cat "$log")"
echo "demo: clicks and close reached the loop"
