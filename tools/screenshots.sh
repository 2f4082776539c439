#!/usr/bin/env bash
# Takes the README's screenshots of the three programs under a virtual X
# display, driving the real programs with real X input: the board editor
# with a position and its task, then each sheet composer with the diagrams
# the editor saved. Writes docs/editor.png, docs/sheet12.png, docs/sheet6.png
# and docs/diagram.jpg (one saved diagram as it is).
#
#   bash tools/screenshots.sh
#
# Needs the test packages (xvfb, xdotool, imagemagick); builds the programs
# into build-run/ as tools/start.sh does.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

# Always a virtual display of a known size, so that the pictures do not
# depend on the desktop they are taken from.
if [ "${SCREENSHOTS_ON_XVFB:-}" != 1 ]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp -noreset" env SCREENSHOTS_ON_XVFB=1 bash "$0" "$@"
fi

build=$root/build-run
cmake -S . -B "$build" -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDIAGRAMS_TESTS=OFF -DDIAGRAMS_BENCH=OFF \
    -DCMAKE_RUNTIME_OUTPUT_DIRECTORY="$build/bin" >/dev/null
cmake --build "$build" -j "$(nproc)" --target make_piece_set diagram_editor diagram_sheet12 diagram_sheet6 >/dev/null

# The end-to-end helpers: start_program, wait_window, click, type_text, key.
export BUILD_DIR=$build SOURCE_DIR=$root
source "$root/tests/support/e2e.sh"

work=$E2E_TMP/work
mkdir -p "$work/DATA" "$work/SAVE" "$work/TEMP" "$root/docs"
"$build/bin/make_piece_set" "$work/DATA/" 50 || fail "make_piece_set failed"
export HOME=$E2E_TMP/home
mkdir -p "$HOME"

# shot WID FILE: the window's client area as a PNG picture.
shot() {
    sleep 0.5
    import -window "$1" "$2" || fail "cannot take $2"
    echo "wrote ${2#"$root"/}"
}

# ---- the editor: three positions, each saved ----
s=50
# place PIECE SQUARE: a piece (wK wQ wR wB wN wP, bK ... bP) on a square
# ("e4"), through the palette and the board.
place() {
    local kinds=KQRBNP column row
    local before=${kinds%%"${1:1}"*}
    local r=$((${#before} + 1))                  # the palette row of the kind
    case ${1:0:1} in
        w) click "$board" 525 $((53 * r)) ;;
        b) click "$board" 580 $((53 * r)) ;;
    esac
    column=$(($(printf '%d' "'${2:0:1}") - 96))
    row=$((9 - ${2:1:1}))
    click "$board" $((column * s + s / 2)) $((row * s + s / 2))
}
task() {
    click "$board" 250 492
    key ctrl+a
    type_text "$1"
}
save_as() {
    click "$board" 645 432                          # "Сохранить изображение"
    local dialog
    dialog=$(wait_window "$editor" "Save image")
    focus "$dialog"
    type_text "$1"
    key Return
    wait_for_file "$work/SAVE/$1.jpg"
}

cd "$work"
start_program "$E2E_TMP/editor.log" "$build/bin/diagram_editor"
editor=$LAST_PID
board=$(wait_window "$editor" "Chess diagram")
focus "$board"

positions=(
    "wK:g1 wQ:d1 wR:f1 wB:c4 wP:f2 wP:g2 wP:h2 bK:g8 bQ:d8 bR:f8 bN:c6 bP:f7 bP:g7 bP:h7|Белые начинают и выигрывают"
    "wK:e1 wR:a1 wR:h1 wN:f3 wP:e4 bK:e8 bB:b4 bN:f6 bP:d5 bP:e6|Чёрные начинают и делают ничью"
    "wK:b6 wQ:c7 bK:a8 bP:a7|Мат в 1 ход"
)
n=0
for entry in "${positions[@]}"; do
    n=$((n + 1))
    click "$board" 645 462                          # "Очистить доску"
    for item in ${entry%%|*}; do place "${item%%:*}" "${item#*:}"; done
    task "${entry#*|}"
    click "$board" 645 372                          # "Добавить к печати"
    save_as "problem$n"
done
# The editor with the first position again, the print slots emptied first
# so that "Добавить к печати" stays usable.
click "$board" 645 492                              # "Очистить диаграммы"
click "$board" 645 462
for item in ${positions[0]%%|*}; do place "${item%%:*}" "${item#*:}"; done
task "${positions[0]#*|}"
click "$board" 645 372
shot "$board" "$root/docs/editor.png"
cp "$work/SAVE/problem1.jpg" "$root/docs/diagram.jpg"
kill "$editor"

# ---- the composers, each with the saved diagrams, twice over ----
compose() {  # compose PROGRAM COUNT PICTURE
    start_program "$E2E_TMP/$1.log" "$build/bin/$1"
    local pid=$LAST_PID wid dialog k
    wid=$(wait_window "$pid" "")
    focus "$wid"
    for k in $(seq 1 "$2"); do
        click "$wid" 280 22                         # "Добавить диаграмму"
        dialog=$(wait_window "$pid" "Open image")
        focus "$dialog"
        key ctrl+l
        key ctrl+a
        type_text "$work/SAVE/problem$(((k - 1) % 3 + 1)).jpg"
        key Return
        sleep 0.5
    done
    shot "$wid" "$3"
    kill "$pid"
}
compose diagram_sheet12 6 "$root/docs/sheet12.png"
compose diagram_sheet6 4 "$root/docs/sheet6.png"
