#!/usr/bin/env bash
# The whole way from the board to the sheet, as a user goes it: the real
# diagram_editor saves six different diagrams through its save dialog; the
# real diagram_sheet6, started in the same folder, takes them one by one
# through its open dialog, refuses a seventh, saves the sheet through its
# save dialog under a name without extension and ends on the close request.
# The saved sheet must hold each diagram, scaled to 476 x 502, at its cell in
# reading order, and be white everywhere else.
source "$SOURCE_DIR/tests/support/e2e.sh"

work=$E2E_TMP/work
mkdir -p "$work/DATA" "$work/SAVE" "$work/TEMP"
"$BUILD_DIR/tools/make_piece_set" "$work/DATA/" >/dev/null || fail "no piece set"

# answer_dialog PID TITLE PATH: the program's file dialog answered with the
# keyboard: the location field (ctrl+L) takes the whole path, Return accepts.
answer_dialog() {
    local pid=$1 title=$2 path=$3 dialog
    dialog=$(wait_window "$pid" "$title")
    focus "$dialog"
    key ctrl+l
    key ctrl+a
    type_text "$path"
    key Return
    local end=$((SECONDS + 10))
    while xdotool search --all --onlyvisible --pid "$pid" --name "^${title}\$" >/dev/null 2>&1; do
        [ $SECONDS -lt $end ] || fail "the dialog '$title' did not close"
        sleep 0.1
    done
}

# The editor, square size 50: square (column i, row j) has its centre at
# 50i + 25, 50j + 25; the palette's white pieces are at x = 525, the black
# ones at x = 580, row r at y = 53r; the task field is at y = 492, the save
# button at 645, 432.
cd "$work"
start_program "$E2E_TMP/editor.log" "$BUILD_DIR/editor/diagram_editor"
editor=$LAST_PID
board=$(wait_window "$editor" "Chess diagram")
square() { click "$board" $((50 * $1 + 25)) $((50 * $2 + 25)); }
for n in 1 2 3 4 5 6; do
    click "$board" 645 462                      # "Очистить доску"
    click "$board" 525 53                       # white king
    square "$n" 8
    click "$board" 580 106                      # black queen
    square $((9 - n)) 1
    click "$board" 525 159                      # white rook
    square "$n" "$n"
    click "$board" 580 318                      # black pawn
    for i in $(seq 1 "$n"); do square "$i" 4; done
    click "$board" 250 492                      # the task field
    key ctrl+a
    type_text "Задача $n"
    click "$board" 645 432                      # "Сохранить изображение"
    answer_dialog "$editor" "Save image" "$work/SAVE/d$n"
    wait_for_file "$work/SAVE/d$n.jpg"
done
close_window "$board"
wait_exit "$editor"
[ "$EXIT_STATUS" = 0 ] || fail "the editor's exit status is $EXIT_STATUS"
for n in 1 2 3 4 5 6; do
    read -r dw dh < <("$BUILD_DIR/tests/composer/composer_sheet_check" --size "$work/SAVE/d$n.jpg")
    [ "$dw $dh" = "450 475" ] || fail "diagram $n is ${dw}x${dh}, not 450x475"
done

log=$E2E_TMP/sheet6.log
start_program "$log" "$BUILD_DIR/composer/diagram_sheet6"
pid=$LAST_PID
wid=$(wait_window "$pid" "")

read -r w h < <(xwininfo -id "$wid" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w, h}')
[ "$w" = 1000 ] && [ "$h" = 700 ] || fail "client area is ${w}x${h}, not 1000x700"

for n in 1 2 3 4 5 6; do
    click "$wid" 280 22                 # "Добавить диаграмму"
    answer_dialog "$pid" "Open image" "$work/SAVE/d$n.jpg"
done

# The sheet is full: the button no longer opens a dialog.
click "$wid" 280 22
sleep 1.5
if xdotool search --all --onlyvisible --pid "$pid" --name "^Open image\$" >/dev/null 2>&1; then
    fail "a seventh diagram was offered on a full sheet"
fi

click "$wid" 485 22                     # "Сохранить диаграммы в JPG"
answer_dialog "$pid" "Save image" "$E2E_TMP/sheet"
wait_for_file "$E2E_TMP/sheet"
[ ! -e "$E2E_TMP/sheet.jpg" ] || fail "an extension was added to the name"

close_window "$wid"
wait_exit "$pid"
[ "$EXIT_STATUS" = 0 ] || fail "exit status $EXIT_STATUS"
if grep -q "cannot" "$log"; then fail "the composer reported: $(cat "$log")"; fi

# 450 x 475 diagrams: the height ratio 475 / 502 is the larger, so each
# becomes 476 x 502 (475.58 rounded); the columns start at 40 and
# 40 + 476 + 20, the rows at 40, 562 and 1084.
cells=()
n=0
for y in 40 562 1084; do
    for x in 40 536; do
        n=$((n + 1))
        cells+=("$x,$y,$work/SAVE/d$n.jpg")
    done
done
"$BUILD_DIR/tests/composer/composer_sheet_check" "$E2E_TMP/sheet" 476 502 "${cells[@]}" ||
    fail "the saved sheet does not hold the diagrams at their cells"
echo "sheet6: six diagrams added through the dialogs, saved sheet checked"
