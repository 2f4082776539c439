#!/usr/bin/env bash
# The real diagram_sheet12 meeting a file it cannot load, a folder it cannot
# write into, and a sheet it would replace, driven with real X input: each
# failure shows a message naming the file, answered with a click on its OK
# button, and saving over a file asks first ("no" returns to the dialog).
# The program runs without the capabilities that let root ignore a
# read-only folder. With E2E_SHOTS set to a folder, screenshots land there.
source "$SOURCE_DIR/tests/support/e2e.sh"

shots=${E2E_SHOTS:-}
shot() { [ -z "$shots" ] || import -window root "$shots/$1.png"; }

# answer_dialog PID TITLE PATH: the file dialog answered with the keyboard:
# the location field (ctrl+L) takes the whole path, Return accepts. Prints
# the dialog's id.
answer_dialog() {
    local dialog
    dialog=$(wait_window "$1" "$2")
    focus "$dialog"
    key ctrl+l
    key ctrl+a
    type_text "$3"
    key Return
    echo "$dialog"
}

work=$E2E_TMP/work
mkdir -p "$work/SAVE" "$work/ro"
printf 'not a picture' >"$work/SAVE/broken.jpg"
chmod 555 "$work/ro"
without_override=()
[ "$(id -u)" = 0 ] && without_override=(setpriv --bounding-set -dac_override,-dac_read_search,-fowner --)

cd "$work"
log=$E2E_TMP/sheet12.log
start_program "$log" "${without_override[@]}" "$BUILD_DIR/composer/diagram_sheet12"
pid=$LAST_PID
wid=$(wait_window "$pid" "")
focus "$wid"

# ---- a file that is no picture ----
click "$wid" 280 22                     # "Добавить диаграмму"
dialog=$(answer_dialog "$pid" "Open image" "$work/SAVE/broken.jpg")
message=$(new_window "$pid" "$wid" "$dialog")
shot message-load
press_ok "$message"

# ---- a folder without write permission ----
click "$wid" 485 22                     # "Сохранить диаграммы в JPG"
dialog=$(answer_dialog "$pid" "Save image" "$work/ro/sheet.jpg")
message=$(new_window "$pid" "$wid" "$dialog")
press_ok "$message"
[ -z "$(ls "$work/ro")" ] || fail "ro/ holds: $(ls "$work/ro")"

# ---- saving, then saving over the same file ----
click "$wid" 485 22
dialog=$(answer_dialog "$pid" "Save image" "$work/sheet.jpg")
wait_for_file "$work/sheet.jpg"
gone "$dialog"
touch -d '2001-01-01' "$work/sheet.jpg"
cp -p "$work/sheet.jpg" "$E2E_TMP/before.jpg"

click "$wid" 485 22
dialog=$(answer_dialog "$pid" "Save image" "$work/sheet.jpg")
question=$(new_window "$pid" "$wid" "$dialog")
press_question "$question" cancel
sleep 0.5
xwininfo -id "$dialog" | grep -q IsViewable || fail "\"no\" did not return to the dialog"
focus "$dialog"
key Escape
gone "$dialog"
[ ! "$work/sheet.jpg" -nt "$E2E_TMP/before.jpg" ] || fail "sheet.jpg was replaced after \"no\""

click "$wid" 485 22
dialog=$(answer_dialog "$pid" "Save image" "$work/sheet.jpg")
question=$(new_window "$pid" "$wid" "$dialog")
press_question "$question" replace
gone "$dialog"
[ "$work/sheet.jpg" -nt "$E2E_TMP/before.jpg" ] || fail "sheet.jpg was not replaced"

close_window "$wid"
wait_exit "$pid"
[ "$EXIT_STATUS" = 0 ] || fail "exit status $EXIT_STATUS"
grep -q "SAVE/broken.jpg" "$log" || fail "standard error does not name the picture: $(cat "$log")"
grep -q "ro/sheet.jpg" "$log" || fail "standard error does not name the sheet: $(cat "$log")"
chmod 755 "$work/ro"
echo "sheet12: failures told in messages, replacing asked about"
