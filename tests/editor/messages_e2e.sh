#!/usr/bin/env bash
# The real diagram_editor meeting files it cannot write, and files it would
# replace, driven with real X input. TEMP/ and SAVE/ro/ are read-only (the
# program runs without the capabilities that let root ignore that): each
# failure shows a message naming the file and the cause, answered with a
# click on its OK button; the sheet never shows what an earlier session left
# in TEMP/. Saving over a diagram asks first; "no" returns to the dialog.
# With E2E_SHOTS set to a folder, screenshots of the messages land there.
source "$SOURCE_DIR/tests/support/e2e.sh"
: "${DIAGRAM_EDITOR:?}" "${MAKE_PIECE_SET:?}"

shots=${E2E_SHOTS:-}
shot() { [ -z "$shots" ] || import -window root "$shots/$1.png"; }

work=$E2E_TMP/work
mkdir -p "$work/DATA" "$work/SAVE/ro" "$work/TEMP"
"$MAKE_PIECE_SET" "$work/DATA/" 50 || fail "make_piece_set failed"
# Slots of an earlier session, which this one cannot blank.
for n in 1 2 3 4; do cp "$work/DATA/13.jpg" "$work/TEMP/$n.jpg"; chmod 444 "$work/TEMP/$n.jpg"; done
chmod 555 "$work/TEMP" "$work/SAVE/ro"
without_override=()
[ "$(id -u)" = 0 ] && without_override=(setpriv --bounding-set -dac_override,-dac_read_search,-fowner --)

cd "$work"
log=$E2E_TMP/editor.log
start_program "$log" "${without_override[@]}" "$DIAGRAM_EDITOR"
pid=$LAST_PID

# ---- start-up: the slots cannot be blanked ----
message=$(wait_window "$pid" "Chess diagram")
[ "$(size "$message")" != "800 620" ] || fail "the board window came before the message"
shot message-slots
press_ok "$message"
board=$(wait_window "$pid" "Chess diagram")
[ "$(size "$board")" = "800 620" ] || fail "no board window after the message"
focus "$board"

# ---- "Добавить к печати": the slot cannot be written ----
click "$board" 525 53
click "$board" 75 75
click "$board" 645 372
message=$(new_window "$pid" "$board")
press_ok "$message"

# ---- the sheet: nothing of the earlier session ----
click "$board" 645 402
sheet=$(new_window "$pid" "$board")
sleep 0.5
import -window "$sheet" "$E2E_TMP/sheet.png"
white=$(convert "$E2E_TMP/sheet.png" -crop 450x475+45+45 +repage -colorspace gray -format '%[fx:minima]' info:)
awk -v v="$white" 'BEGIN { exit !(v > 0.95) }' || fail "the sheet shows a slot of an earlier session"
close_window "$sheet"
gone "$sheet"

# ---- saving: a new name, then the same name again ----
click "$board" 645 432
dialog=$(wait_window "$pid" "Save image")
focus "$dialog"
type_text "problem"
key Return
wait_for_file SAVE/problem.jpg
gone "$dialog"
touch -d '2001-01-01' SAVE/problem.jpg
cp SAVE/problem.jpg "$E2E_TMP/before.jpg"

click "$board" 645 432
dialog=$(wait_window "$pid" "Save image")
focus "$dialog"
type_text "problem"
key Return
question=$(new_window "$pid" "$board" "$dialog")
shot question
press_question "$question" cancel
sleep 0.5
xwininfo -id "$dialog" | grep -q IsViewable || fail "\"no\" did not return to the dialog"
focus "$dialog"
key ctrl+a
type_text "other"
key Return
wait_for_file SAVE/other.jpg
gone "$dialog"
cmp -s SAVE/problem.jpg "$E2E_TMP/before.jpg" || fail "problem.jpg was replaced after \"no\""

# The full name, answered yes: replaced.
click "$board" 645 432
dialog=$(wait_window "$pid" "Save image")
focus "$dialog"
type_text "problem.jpg"
key Return
question=$(new_window "$pid" "$board" "$dialog")
press_question "$question" replace
gone "$dialog"
[ "$(find SAVE -name problem.jpg -newer "$E2E_TMP/before.jpg")" = SAVE/problem.jpg ] || fail "problem.jpg was not replaced"
[ "$(ls SAVE)" = "$(printf 'other.jpg\nproblem.jpg\nro')" ] || fail "SAVE/ holds: $(ls SAVE)"

# ---- saving into a read-only folder ----
click "$board" 645 432
dialog=$(wait_window "$pid" "Save image")
focus "$dialog"
type_text "$work/SAVE/ro/x"
key Return
message=$(new_window "$pid" "$board" "$dialog")
shot message-save
press_ok "$message"
[ -z "$(ls SAVE/ro)" ] || fail "SAVE/ro holds: $(ls SAVE/ro)"

close_window "$board"
wait_exit "$pid"
[ "$EXIT_STATUS" = 0 ] || fail "exit status $EXIT_STATUS"
grep -q "1.jpg" "$log" || fail "standard error does not name the slot: $(cat "$log")"
grep -q "SAVE/ro/x.jpg" "$log" || fail "standard error does not name the diagram: $(cat "$log")"
chmod 755 "$work/TEMP" "$work/SAVE/ro"
echo "editor: failures told in messages, replacing asked about, old slots never shown"
