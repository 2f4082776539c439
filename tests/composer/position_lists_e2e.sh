#!/usr/bin/env bash
# Position lists in the real diagram_sheet6 through its real open dialog: a
# FEN list with an EPD record and a bad line, then a PGN file with more games than free cells.
# Each position fills the next cell, drawn at the cell's size where a
# diagram picture would go; the bad line and the game left out are told.
# The saved sheet is checked cell by cell against the renderer's drawing.
source "$SOURCE_DIR/tests/support/e2e.sh"
: "${LIST_SHEET_CHECK:?}"

work=$E2E_TMP/work
mkdir -p "$work/SAVE"
cat >"$work/SAVE/list.fen" <<'LIST'
# training positions
8/8/8/4k3/8/8/4P3/4K3 w - - 0 1 Белые начинают
r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3
not a position
8/8/8/8/8/8/8/K6k w - - c0 "Ничья"; id "draw.1";
rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1
LIST
cat >"$work/SAVE/games.pgn" <<'PGN'
[Event "Puzzle"]
[SetUp "1"]
[FEN "6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1"]

{Мат в 1 ход} 1. Ra8# 1-0

[Event "Opening"]

1. d4 d5 2. c4 *

[Event "Left out"]
[SetUp "1"]
[FEN "8/8/8/8/3k4/8/8/K7 w - - 0 1"]

*
PGN

answer_dialog() {  # answer_dialog PID TITLE PATH
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
windows() { xdotool search --all --onlyvisible --pid "$pid" --name '^$' 2>/dev/null | wc -l; }
# answer_message: the message over the sheet window is there; Return closes it.
answer_message() {
    local end=$((SECONDS + 20)) message
    until [ "$(windows)" -ge 2 ]; do
        [ $SECONDS -lt $end ] || fail "no message"
        sleep 0.1
    done
    message=$(xdotool search --all --onlyvisible --pid "$pid" --name '^$' | grep -vx "$wid" | head -n 1)
    focus "$message"
    key Return
    end=$((SECONDS + 10))
    while [ "$(windows)" -ge 2 ]; do
        [ $SECONDS -lt $end ] || fail "the message did not close"
        sleep 0.1
    done
}

cd "$work"
log=$E2E_TMP/sheet6.log
start_program "$log" "$BUILD_DIR/composer/diagram_sheet6"
pid=$LAST_PID
wid=$(wait_window "$pid" "")

click "$wid" 280 22                    # "Добавить диаграмму"
answer_dialog "$pid" "Open image" "$work/SAVE/list.fen"
answer_message
grep -qF "$work/SAVE/list.fen:4:" "$log" || fail "the bad line was not told: $(cat "$log")"
grep -qF "Добавлено на лист: 4 позиции из файла $work/SAVE/list.fen" "$log" || fail "the message said: $(cat "$log")"

click "$wid" 280 22
answer_dialog "$pid" "Open image" "$work/SAVE/games.pgn"
answer_message
grep -qF "Добавлено на лист: 2 позиции из файла $work/SAVE/games.pgn" "$log" || fail "the message said: $(cat "$log")"
grep -qF "Не поместились на лист: 1 позиция." "$log" || fail "the game left out was not told: $(cat "$log")"

# Full: the button no longer opens a dialog.
click "$wid" 280 22
sleep 1.5
if xdotool search --all --onlyvisible --pid "$pid" --name "^Open image\$" >/dev/null 2>&1; then
    fail "a seventh diagram was offered on a full sheet"
fi

click "$wid" 485 22                    # "Сохранить диаграммы в JPG"
answer_dialog "$pid" "Save image" "$E2E_TMP/sheet.jpg"
wait_for_file "$E2E_TMP/sheet.jpg"
close_window "$wid"
wait_exit "$pid"
[ "$EXIT_STATUS" = 0 ] || fail "exit status $EXIT_STATUS"

# A diagram of 9 x 9.5 squares fits a 540 x 502 cell as 476 x 502 (475.58
# rounded): columns at 40 and 536, rows at 40, 562 and 1084.
"$LIST_SHEET_CHECK" "$E2E_TMP/sheet.jpg" 476 502 \
    "40,40,8/8/8/4k3/8/8/4P3/4K3 w - - 0 1,Белые начинают" \
    "536,40,r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3" \
    "40,562,8/8/8/8/8/8/8/K6k w - - 0 1,Ничья" \
    "536,562,rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1" \
    "40,1084,6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1,Мат в 1 ход" \
    "536,1084,rnbqkbnr/ppp1pppp/8/3p4/2PP4/8/PP2PPPP/RNBQKBNR b KQkq c3 0 2" ||
    fail "the saved sheet does not hold the positions at their cells"
echo "sheet6: a FEN list and a PGN file added through the dialog, saved sheet checked"
