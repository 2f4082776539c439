#!/usr/bin/env bash
# The real diagram_editor in a prepared working folder, driven with real X
# input as a user would: pick pieces, click squares, type a task in Russian,
# add the diagram to print and save it through the file dialog. Then the
# files it wrote are checked. Also: the start command without a display, and
# the message shown when the piece set is missing.
source "$SOURCE_DIR/tests/support/e2e.sh"
: "${DIAGRAM_EDITOR:?}" "${MAKE_PIECE_SET:?}"

s=50
# Client-area centre of square k (column i, row j, numbered down the columns).
square() {
    local k=$1 i j
    i=$(((k - 1) / 8 + 1))
    j=$(((k - 1) % 8 + 1))
    echo $((i * s + s / 2)) $((j * s + s / 2))
}
size_of() { identify -format '%wx%h' "$1"; }
# Root-mean-square difference (0 to 1) between a crop of a picture and another picture.
difference() {  # difference PICTURE GEOMETRY OTHER
    convert "$1" -crop "$2" +repage "$E2E_TMP/crop.ppm"
    # compare exits 1 for pictures that differ at all.
    { compare -metric RMSE "$E2E_TMP/crop.ppm" "$3" null: 2>&1 || true; } | sed -n 's/.*(\(.*\)).*/\1/p'
}
below() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a < b) }'; }

# ---- the start command without a display: one line, non-zero status ----
set +e
env -u DISPLAY bash "$SOURCE_DIR/tools/start.sh" >"$E2E_TMP/start.out" 2>"$E2E_TMP/start.err"
status=$?
set -e
[ "$status" != 0 ] || fail "start.sh without a display exited 0"
[ "$(wc -l <"$E2E_TMP/start.err")" = 1 ] && [ ! -s "$E2E_TMP/start.out" ] ||
    fail "start.sh without a display said: $(cat "$E2E_TMP/start.out" "$E2E_TMP/start.err")"

# ---- no piece set: a message, the same line on stderr, status 1 ----
mkdir -p "$E2E_TMP/empty/DATA" "$E2E_TMP/empty/SAVE" "$E2E_TMP/empty/TEMP"
cd "$E2E_TMP/empty"
start_program "$E2E_TMP/empty.log" "$DIAGRAM_EDITOR"
pid=$LAST_PID
wid=$(wait_window "$pid" "Chess diagram")
focus "$wid"
key Return
wait_exit "$pid"
[ "$EXIT_STATUS" = 1 ] || fail "without a piece set the editor exited $EXIT_STATUS"
grep -qxF "Не удалось загрузить набор фигур из папки $E2E_TMP/empty/DATA/" "$E2E_TMP/empty.log" ||
    fail "missing piece set reported as: $(cat "$E2E_TMP/empty.log")"
[ -z "$(ls TEMP)" ] || fail "slot files written without a piece set"

# ---- a working session ----
work=$E2E_TMP/work
mkdir -p "$work/DATA" "$work/SAVE" "$work/TEMP"
"$MAKE_PIECE_SET" "$work/DATA/" "$s" || fail "make_piece_set failed"
cp "$work/DATA/1.jpg" "$work/TEMP/3.jpg"  # left over from an earlier run
cd "$work"
start_program "$E2E_TMP/editor.log" "$DIAGRAM_EDITOR"
pid=$LAST_PID
wid=$(wait_window "$pid" "Chess diagram")
read -r w h < <(xwininfo -id "$wid" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w, h}')
[ "$w" = 800 ] && [ "$h" = 620 ] || fail "client area is ${w}x${h}, not 800x620"
for n in 1 2 3 4; do [ "$(size_of "TEMP/$n.jpg")" = 5x5 ] || fail "slot $n not blanked at start"; done
focus "$wid"

click "$wid" 580 53            # palette column 2, row 1: piece 7
click "$wid" $(square 2)       # a dark square: picture 14
click "$wid" $(square 1)       # a light square: picture 13
click "$wid" 525 53            # palette column 1, row 1: piece 1
click "$wid" $(square 36)      # column 5, row 4: dark, picture 2
click "$wid" 635 106           # extra symbol 1
click "$wid" $(square 64)      # light: picture 29
click "$wid" 250 492           # the task field: the placeholder goes
type_text "Мат в 2 хода"
click "$wid" 645 372           # "Добавить к печати"

end=$((SECONDS + 10))
until [ "$(size_of TEMP/1.jpg 2>/dev/null)" = 450x475 ]; do
    [ $SECONDS -lt $end ] || fail "slot 1 was not written"
    sleep 0.1
done

click "$wid" 645 432           # "Сохранить изображение"
dialog=$(wait_window "$pid" "Save image")
focus "$dialog"
type_text "problem1"
key Return
end=$((SECONDS + 20))
until [ -s SAVE/problem1.jpg ]; do
    [ $SECONDS -lt $end ] || fail "no SAVE/problem1.jpg; SAVE/ holds: $(ls SAVE)"
    sleep 0.1
done
sleep 0.3

close_window "$wid"
wait_exit "$pid"
[ "$EXIT_STATUS" = 0 ] || fail "exit status $EXIT_STATUS; log: $(cat "$E2E_TMP/editor.log")"

# ---- what it wrote ----
saved=SAVE/problem1.jpg
[ "$(ls SAVE)" = problem1.jpg ] || fail "SAVE/ holds: $(ls SAVE)"
[ "$(size_of "$saved")" = 450x475 ] || fail "saved diagram is $(size_of "$saved")"
cmp -s "$saved" TEMP/1.jpg || fail "slot 1 and the saved diagram differ"
cmp -s TEMP/2.jpg TEMP/3.jpg && cmp -s TEMP/2.jpg TEMP/4.jpg && [ "$(size_of TEMP/2.jpg)" = 5x5 ] ||
    fail "slots 2 to 4 are not the blank picture"

# Each square at (i*s - s/2, j*s - s/2) shows the piece-set picture of its square.
check_square() {  # check_square K PICTURE
    local k=$1 n=$2 i j d
    i=$(((k - 1) / 8 + 1))
    j=$(((k - 1) % 8 + 1))
    d=$(difference "$saved" "${s}x${s}+$((i * s - s / 2))+$((j * s - s / 2))" "DATA/$n.jpg")
    below "$d" 0.06 || fail "square $k differs from picture $n by $d"
}
check_square 1 13
check_square 2 14
check_square 36 2
check_square 64 29
check_square 3 25
check_square 8 26
d=$(difference "$saved" "450x25+0+0" DATA/27.jpg)
below "$d" 0.06 || fail "top frame strip differs by $d"

# The text band: white around dark text in the middle.
band_min() { convert "$saved" -crop "$1" +repage -colorspace gray -format '%[fx:minima]' info:; }
below "$(band_min 100x20+175+452)" 0.3 || fail "no task text under the board"
below 0.9 "$(band_min 40x25+0+450)" || fail "the text band's left end is not white"
below 0.9 "$(band_min 40x25+410+450)" || fail "the text band's right end is not white"
echo "editor: position, task text, print slot and saved diagram as set up"
