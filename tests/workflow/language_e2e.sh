#!/usr/bin/env bash
# The real desktop programs in the desktop's language, with the build
# tree's catalogues found beside them. Under English the editor and a sheet
# composer show English buttons (read off the screen by OCR) and the editor
# tells English; under Russian, and under the C locale whatever LANGUAGE
# asks, the editor tells Russian as it always has; a composer counts the
# positions it adds in English plurals, or in Russian's three forms. Every
# message is also read back where the user meets it: the title with
# xdotool, the text on standard error.
source "$SOURCE_DIR/tests/support/e2e.sh"
: "${DIAGRAM_EDITOR:?}" "${DIAGRAM_SHEET12:?}" "${DIAGRAM_SHEET6:?}" "${MAKE_PIECE_SET:?}"
for locale in en_US.utf8 ru_RU.utf8; do
    locale -a | grep -qx "$locale" || fail "the locale $locale is not installed: tools/test.sh generates it"
done

english=(env LANGUAGE=en LC_ALL=en_US.UTF-8)
russian=(env LANGUAGE=ru LC_ALL=ru_RU.UTF-8)
c_locale=(env LANGUAGE=en LC_ALL=C)

# The message a composer shows over its window (both untitled), answered
# with Return.
composer_message() {  # composer_message PID SHEET-WID
    local end=$((SECONDS + 20)) message=""
    until [ -n "$message" ]; do
        [ $SECONDS -lt $end ] || fail "no message over the sheet"
        message=$(xdotool search --all --onlyvisible --pid "$1" --name '^$' 2>/dev/null | grep -vx "$2" | head -n 1) || true
        sleep 0.1
    done
    focus "$message"
    key Return
    gone "$message"
}

# read_window WID [GEOMETRY]: the window's text (or that of a part of it,
# WxH+X+Y) by OCR, grey and three times the size, on one line. The pointer
# is moved off first: a tooltip would hide buttons.
read_window() {
    xdotool mousemove 0 0
    sleep 0.3
    import -window "$1" "$E2E_TMP/window.png"
    convert "$E2E_TMP/window.png" -crop "${2:-100%x100%+0+0}" +repage -resize 300% -colorspace gray \
        "$E2E_TMP/window-big.png"
    tesseract "$E2E_TMP/window-big.png" - 2>/dev/null | tr '\n' ' '
}

expect_read() {  # expect_read TEXT-READ WHAT...
    local read=$1 text
    shift
    for text in "$@"; do
        grep -qF "$text" <<<"$read" || fail "'$text' is not on the screen, which reads: $read"
    done
}

# ---- the editor without a piece set: the message in each language ----
mkdir -p "$E2E_TMP/empty"
cd "$E2E_TMP/empty"
folder=$E2E_TMP/empty/DATA/
for run in english russian c_locale; do
    declare -n command=$run
    log=$E2E_TMP/editor-$run.log
    start_program "$log" "${command[@]}" "$DIAGRAM_EDITOR"
    message=$(wait_window "$LAST_PID" "Chess diagram")
    [ "$(xdotool getwindowname "$message")" = "Chess diagram" ] || fail "the message is titled otherwise"
    press_ok "$message"
    wait_exit "$LAST_PID"
    if [ $run = english ]; then
        expected="Could not load the piece set from the folder $folder"
    else
        expected="Не удалось загрузить набор фигур из папки $folder"
    fi
    [ "$(cat "$log")" = "$expected" ] || fail "under $run the editor said: $(cat "$log")"
done

# ---- English windows, read off the screen ----
work=$E2E_TMP/work
mkdir -p "$work/DATA" "$work/SAVE" "$work/TEMP"
"$MAKE_PIECE_SET" "$work/DATA/" 50 >/dev/null || fail "make_piece_set failed"
cd "$work"

start_program "$E2E_TMP/editor.log" "${english[@]}" "$DIAGRAM_EDITOR"
pid=$LAST_PID
board=$(wait_window "$pid" "Chess diagram")
# The chequered board would only confuse the OCR: the buttons beside it and
# the task field under it (squares of 50).
expect_read "$(read_window "$board" 310x170+490+350)" "Add to print" "Preview and print" "Save image" \
    "Clear board" "Clear diagrams"
expect_read "$(read_window "$board" 460x40+20+470)" "Type the stipulation here"
close_window "$board"
wait_exit "$pid"

start_program "$E2E_TMP/sheet12.log" "${english[@]}" "$DIAGRAM_SHEET12"
pid=$LAST_PID
sheet=$(wait_window "$pid" "")
# The button row: the white page under it leaves the OCR reading nothing.
expect_read "$(read_window "$sheet" 820x36+10+2)" "Print diagrams" "Add diagram" "Save diagrams as JPEG" "Clear diagrams"
close_window "$sheet"
wait_exit "$pid"

# ---- counted positions: English plurals, and Russian's three forms with
# no catalogue of its own ----
seq 7 | sed 's|.*|8/8/8/4k3/8/8/4P3/4K3 w - - 0 1|' >"$work/SAVE/seven.fen"
for run in english russian; do
    declare -n command=$run
    log=$E2E_TMP/sheet6-$run.log
    start_program "$log" "${command[@]}" "$DIAGRAM_SHEET6"
    pid=$LAST_PID
    sheet=$(wait_window "$pid" "")
    click "$sheet" 280 22
    dialog=$(wait_window "$pid" "Open image")
    focus "$dialog"
    key ctrl+l
    key ctrl+a
    type_text "$work/SAVE/seven.fen"
    key Return
    gone "$dialog"
    composer_message "$pid" "$sheet"
    if [ $run = english ]; then
        expected=("Added to the sheet: 6 positions from the file $work/SAVE/seven.fen" "Left off the full sheet: 1 position.")
    else
        expected=("Добавлено на лист: 6 позиций из файла $work/SAVE/seven.fen" "Не поместились на лист: 1 позиция.")
    fi
    for text in "${expected[@]}"; do
        grep -qF "$text" "$log" || fail "under $run the composer said: $(cat "$log")"
    done
    close_window "$sheet"
    wait_exit "$pid"
done
echo "English and Russian as the desktop asks"
