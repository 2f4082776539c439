#!/usr/bin/env bash
# diagram_batch --pieces gives the editor's own picture: a position set up
# in the real editor with real clicks, a caption typed, the diagram saved
# through the file dialog; then the same position and caption drawn by
# diagram_batch without a display, and the decoded pixels compared.
#
# The editor rasterises its caption with the display's text settings, and
# diagram_batch with those of a plain X display at 96 dpi; so the editor
# runs on a display of its own at 96 dpi, without font resources.
if [ "${BATCH_EDITOR_DISPLAY:-}" != own ]; then
    export BATCH_EDITOR_DISPLAY=own
    exec xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96 -nolisten tcp -noreset" bash "$0" "$@"
fi
source "$SOURCE_DIR/tests/support/e2e.sh"
: "${DIAGRAM_EDITOR:?}" "${MAKE_PIECE_SET:?}" "${DIAGRAM_BATCH:?}"

s=50
square() {  # the client-area centre of square k (column i, row j, down the columns)
    local k=$1
    echo $((((k - 1) / 8 + 1) * s + s / 2)) $((((k - 1) % 8 + 1) * s + s / 2))
}
palette() {  # the centre of palette column C (1 white, 2 black), row R (king ... pawn)
    echo $((10 * s + (s + 5) * ($1 - 1) + s / 2)) $(($2 * (s + 3)))
}
put() {  # put COLUMN ROW SQUARE...
    local c=$1 r=$2 k
    shift 2
    click "$wid" $(palette "$c" "$r")
    for k in "$@"; do click "$wid" $(square "$k"); done
}

work=$E2E_TMP/work
mkdir -p "$work/DATA" "$work/SAVE" "$work/TEMP"
"$MAKE_PIECE_SET" "$work/DATA/" "$s" || fail "make_piece_set failed"
cd "$work"
start_program "$E2E_TMP/editor.log" "$DIAGRAM_EDITOR"
pid=$LAST_PID
wid=$(wait_window "$pid" "Chess diagram")
focus "$wid"

# Men on light and dark squares of every kind of row:
# 4k2r/8/5n2/8/3Q4/8/PP6/4K3
put 1 1 40       # white king e1
put 2 1 33       # black king e8
put 1 2 29       # white queen d4
put 2 5 43       # black knight f6
put 1 6 7 15     # white pawns a2, b2
put 2 3 57       # black rook h8
caption="Мат в 2 хода, этюд №7"
click "$wid" 250 492           # the task field: the placeholder goes
# One character at a time: a Cyrillic letter is typed through a key
# remapped for it, and two in quick succession on a busy machine can lose one.
for ((n = 0; n < ${#caption}; n++)); do
    xdotool type --delay 80 -- "${caption:n:1}"
    sleep 0.05
done
sleep 0.2
click "$wid" 645 432           # "Сохранить изображение"
dialog=$(wait_window "$pid" "Save image")
focus "$dialog"
type_text "study"
key Return
wait_for_file SAVE/study.jpg
close_window "$wid"
wait_exit "$pid"
[ "$EXIT_STATUS" = 0 ] || fail "the editor exited $EXIT_STATUS"

printf '4k2r/8/5n2/8/3Q4/8/PP6/4K3 w - - 0 1 %s\n' "$caption" >study.txt
env -u DISPLAY "$DIAGRAM_BATCH" --pieces DATA -o batch.jpg study.txt || fail "diagram_batch failed"

# Decoded pixels, every one: the count of those that differ must be 0.
differing=$({ compare -metric AE SAVE/study.jpg batch.jpg "$E2E_TMP/difference.png" 2>&1 || true; })
if [ "$differing" != 0 ]; then
    cp SAVE/study.jpg batch.jpg "$E2E_TMP/difference.png" /tmp/ 2>/dev/null || true
    fail "diagram_batch --pieces differs from the editor's diagram in $differing pixels (copies in /tmp)"
fi


# A piece set of another square size gives the picture of that size.
"$MAKE_PIECE_SET" "$E2E_TMP/DATA40/" 40 || fail "make_piece_set 40 failed"
env -u DISPLAY "$DIAGRAM_BATCH" --pieces "$E2E_TMP/DATA40" -o small.jpg study.txt || fail "diagram_batch failed (s = 40)"
[ "$(identify -format '%wx%h' small.jpg)" = 360x380 ] || fail "s = 40 gives $(identify -format '%wx%h' small.jpg)"
echo "batch_editor_e2e: the pictures are the same, pixel for pixel"
