#!/usr/bin/env bash
# The whole workflow as a user goes it, on the installed suite, under a real
# window manager (openbox), with real X input:
#
#   the installed launcher starts the editor in an empty HOME; six different
#   positions are set up with clicks, each with a Russian task typed in and
#   saved through the file dialog; four are added to print, "Просмотр и
#   печать" prints them to a PDF through the print dialog (as vectors: the
#   diagrams are the shipped set's); the window manager
#   closes the sheet window and the editor. Then diagram_sheet6, through the
#   same launcher, takes the six diagrams through its open dialog, saves the
#   sheet, prints it to a PDF and is closed by the window manager.
#
# Every file is checked afterwards: the diagrams square by square against
# the piece-set pictures placed, the saved sheet and both printed pages cell
# by cell against their diagrams, the pages' size.
#
# WORKFLOW_RUNNER=time (the default) runs each program under /usr/bin/time -v
# and checks its peak resident memory; WORKFLOW_RUNNER=memcheck runs it under
# valgrind and fails on a definite leak or a memory error in the project's
# own code (VALGRIND_SUPPRESSIONS names the suppressions of the libraries'
# lifelong caches).
source "$SOURCE_DIR/tests/support/e2e.sh"
: "${SHEET_CHECK:?SHEET_CHECK must name composer_sheet_check}"

runner=${WORKFLOW_RUNNER:-time}
peak_limit_kb=$((60 * 1024))
# slow: how much longer everything takes under the runner; ui_pause: how
# long a dialog takes to be ready for typing.
case "$runner" in
    time) slow=1 ui_pause=0.3 ;;
    memcheck) slow=12 ui_pause=4 ;;
    *) fail "unknown WORKFLOW_RUNNER $runner" ;;
esac

# ---- the installed suite, an empty home, a window manager ----
prefix=$E2E_TMP/prefix
cmake --install "$BUILD_DIR" --prefix "$prefix" >"$E2E_TMP/install.log" 2>&1 ||
    fail "cmake --install failed: $(cat "$E2E_TMP/install.log")"
launcher=$prefix/bin/chess-diagrams
[ -x "$launcher" ] || fail "no launcher installed"

xdpyinfo >/dev/null 2>&1 || fail "cannot open the display $DISPLAY"
# wm_running: a window manager is there. The root window's check property
# outlives the manager that set it (the display keeps its state), so the
# window it names must still exist and name itself.
wm_running() {
    local id
    id=$(xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | sed -n 's/.*window id # \(0x[0-9a-f]*\).*/\1/p')
    [ -n "$id" ] && xprop -id "$id" _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id # $id\$"
}
if wm_running; then
    fail "another window manager already runs on $DISPLAY"
fi
mkdir -p "$E2E_TMP/wm-home"
HOME=$E2E_TMP/wm-home openbox --sm-disable >"$E2E_TMP/openbox.log" 2>&1 &
E2E_PIDS+=("$!")
end=$((SECONDS + 20))
until wm_running; do
    [ $SECONDS -lt $end ] || fail "openbox did not start: $(cat "$E2E_TMP/openbox.log")"
    sleep 0.1
done

export HOME=$E2E_TMP/home
unset XDG_DATA_HOME
mkdir -p "$HOME"
work=$HOME/.local/share/chess-diagrams

# run_program NAME [ARGUMENT]: the launcher under the runner, in the
# background; $LAST_PID is the process to wait for, $PROGRAM_PID the one
# that owns the windows.
run_program() {
    local name=$1
    shift
    case "$runner" in
        time)
            start_program "$E2E_TMP/$name.log" /usr/bin/time -v -o "$E2E_TMP/$name.time" "$launcher" "$@"
            local end=$((SECONDS + 10))
            until PROGRAM_PID=$(pgrep -P "$LAST_PID"); do
                [ $SECONDS -lt $end ] || fail "$name did not start"
                sleep 0.05
            done
            ;;
        memcheck)
            # The launcher's exec keeps the process, and valgrind with it;
            # its helpers (cp, mkdir, ...) run untraced.
            G_SLICE=always-malloc G_DEBUG=gc-friendly start_program "$E2E_TMP/$name.log" \
                valgrind --tool=memcheck --leak-check=full --show-leak-kinds=definite \
                --errors-for-leak-kinds=definite --num-callers=40 --fullpath-after= \
                --suppressions="${VALGRIND_SUPPRESSIONS:?}" --gen-suppressions=all \
                --trace-children=yes --trace-children-skip='*/cp,*/mkdir,*/readlink,*/dirname' \
                --log-file="$E2E_TMP/$name.valgrind" "$launcher" "$@"
            PROGRAM_PID=$LAST_PID
            ;;
    esac
}

# ready WID: the window has stopped moving (the window manager places it
# after it is shown) and the program has had time to draw it.
ready() {
    local before="" now end=$((SECONDS + 10 * slow))
    while now=$(window_origin "$1") && [ "$now" != "$before" ]; do
        [ $SECONDS -lt $end ] || fail "window $1 keeps moving"
        before=$now
        sleep 0.3
    done
    sleep "$ui_pause"
}

# close_by_wm WID: the window manager's own close, from its key binding.
close_by_wm() {
    xdotool windowactivate --sync "$1" 2>/dev/null || xdotool windowactivate "$1"
    sleep "$ui_pause"
    xdotool key alt+F4
    sleep 0.3
}

# wait_gone PID TITLE: the window of that title is closed.
wait_gone() {
    local end=$((SECONDS + 10 * slow))
    while xdotool search --all --onlyvisible --pid "$1" --name "^$2\$" >/dev/null 2>&1; do
        [ $SECONDS -lt $end ] || fail "the window '$2' did not close"
        sleep 0.1
    done
}

# answer_file_dialog PID TITLE PATH: the location field takes the whole path.
answer_file_dialog() {
    local dialog
    dialog=$(wait_window "$1" "$2" $((20 * slow)))
    ready "$dialog"
    focus "$dialog"
    key ctrl+l
    key ctrl+a
    type_text "$3"
    sleep "$ui_pause"
    key Return
    wait_gone "$1" "$2"
}

# answer_print_dialog PID: the print dialog's preselected file printer,
# then Print; waits for the PDF in the home folder.
answer_print_dialog() {
    local dialog
    dialog=$(wait_window "$1" "Print" $((20 * slow)))
    # The file printer is preselected a moment after the dialog appears.
    sleep $((2 * slow))
    focus "$dialog"
    key Return
    wait_for_file "$HOME/output.pdf" $((30 * slow))
    wait_gone "$1" "Print"
}

finished() {  # finished NAME: the program ended with status 0
    wait_exit "$LAST_PID" $((30 * slow))
    [ "$EXIT_STATUS" = 0 ] || fail "$1 exited with $EXIT_STATUS: $(tail -n 20 "$E2E_TMP/$1.log")"
}

# ---- the editor: six positions ----
s=50
# Palette pieces by name: w1..w6 the first column (pictures 1, 3, ... 11),
# b1..b6 the second (13, 15, ... 23), x1 and x2 the extra symbols (29, 31).
palette_point() {
    case $1 in
        w?) echo 525 $((53 * ${1#w})) ;;
        b?) echo 580 $((53 * ${1#b})) ;;
        x1) echo 635 106 ;;
        x2) echo 635 159 ;;
    esac
}
palette_picture() {
    case $1 in
        w?) echo $((2 * ${1#w} - 1)) ;;
        b?) echo $((2 * ${1#b} + 11)) ;;
        x1) echo 29 ;;
        x2) echo 31 ;;
    esac
}
# Position n: a list of "piece column row", each different from the others.
position() {
    local n=$1 i
    echo "w1 $n 8"
    echo "b1 $((9 - n)) 1"
    echo "w3 $n $n"
    for i in $(seq 1 "$n"); do echo "b6 $i 4"; done
    echo "x$((n % 2 + 1)) 8 $((8 - n))"
    echo "w$((n % 6 + 1)) 7 $((n + 1))"
}
declare -A expected  # "n,i,j" -> the picture that square shows in diagram n

run_program editor
editor=$PROGRAM_PID
board=$(wait_window "$editor" "Chess diagram" $((20 * slow)))
ready "$board"
focus "$board"
for n in 1 2 3 4 5 6; do
    click "$board" 645 462                         # "Очистить доску"
    chosen=""
    while read -r piece i j; do
        # The palette choice stays until the next palette click.
        [ "$piece" = "$chosen" ] || click "$board" $(palette_point "$piece")
        chosen=$piece
        click "$board" $((i * s + s / 2)) $((j * s + s / 2))
        p=$(palette_picture "$piece")
        expected[$n,$i,$j]=$(((i + j) % 2 == 0 ? p : p + 1))
    done < <(position "$n")
    click "$board" 250 492                         # the task field
    key ctrl+a
    type_text "Задача $n: белые начинают и выигрывают"
    sleep "$ui_pause"
    if [ "$n" -le 4 ]; then
        click "$board" 645 372                     # "Добавить к печати"
        end=$((SECONDS + 10 * slow))
        until [ "$(identify -format '%wx%h' "$work/TEMP/$n.jpg" 2>/dev/null)" = 450x475 ]; do
            [ $SECONDS -lt $end ] || fail "print slot $n was not written"
            sleep 0.2
        done
    fi
    click "$board" 645 432                         # "Сохранить изображение"
    dialog=$(wait_window "$editor" "Save image" $((20 * slow)))
    ready "$dialog"
    focus "$dialog"
    type_text "problem$n"                          # the dialog opens in SAVE/
    sleep "$ui_pause"
    key Return
    wait_gone "$editor" "Save image"
    wait_for_file "$work/SAVE/problem$n.jpg" $((10 * slow))
done

click "$board" 645 402                             # "Просмотр и печать"
sheet=$(wait_window "$editor" "" $((20 * slow)))
ready "$sheet"
focus "$sheet"
click "$sheet" 500 707                             # "Печать диаграмм"
answer_print_dialog "$editor"
mv "$HOME/output.pdf" "$E2E_TMP/editor.pdf"
close_by_wm "$sheet"
wait_gone "$editor" ""
kill -0 "$LAST_PID" 2>/dev/null || fail "the editor ended with its sheet window"
close_by_wm "$board"
finished editor

# ---- diagram_sheet6: the six diagrams on one sheet ----
run_program sheet6 sheet6
composer=$PROGRAM_PID
window=$(wait_window "$composer" "" $((20 * slow)))
ready "$window"
focus "$window"
for n in 1 2 3 4 5 6; do
    click "$window" 280 22                         # "Добавить диаграмму"
    answer_file_dialog "$composer" "Open image" "$work/SAVE/problem$n.jpg"
done
click "$window" 485 22                             # "Сохранить диаграммы в JPG"
answer_file_dialog "$composer" "Save image" "$HOME/sheet6.jpg"
wait_for_file "$HOME/sheet6.jpg" $((10 * slow))
click "$window" 100 22                             # "Печать диаграмм"
answer_print_dialog "$composer"
mv "$HOME/output.pdf" "$E2E_TMP/sheet6.pdf"
close_by_wm "$window"
finished sheet6

# ---- what the runner measured ----
case "$runner" in
    time)
        for name in editor sheet6; do
            peak=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$E2E_TMP/$name.time")
            [ -n "$peak" ] || fail "no peak memory for $name"
            echo "peak resident memory of $name: $peak kB"
            [ "$peak" -lt "$peak_limit_kb" ] || fail "$name peaked at $peak kB, over $peak_limit_kb kB"
        done
        ;;
    memcheck)
        for name in editor sheet6; do
            log=$E2E_TMP/$name.valgrind
            grep -q 'ERROR SUMMARY' "$log" || fail "valgrind did not finish $name: $(tail -n 5 "$log")"
            ours=$(awk -v tree="$SOURCE_DIR/" -f "$SOURCE_DIR/tests/workflow/valgrind_ours.awk" "$log")
            if [ -n "$ours" ]; then
                echo "$ours" >&2
                fail "valgrind found memory errors or definite leaks in the project's code ($name)"
            fi
            # What is left is the libraries' own (see valgrind_ours.awk).
            grep -E 'definitely lost:' "$log" | sed "s/^==[0-9]*== */$name under valgrind: /"
        done
        ;;
esac

# ---- the files ----
size_of() { identify -format '%wx%h' "$1"; }
below() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a < b) }'; }
# Root-mean-square difference (0 to 1) of two pictures of one size.
rmse() { { compare -metric RMSE "$1" "$2" null: 2>&1 || true; } | sed -n 's/.*(\(.*\)).*/\1/p'; }

[ "$(ls "$work/SAVE")" = "$(printf 'problem%s.jpg\n' 1 2 3 4 5 6)" ] || fail "SAVE/ holds: $(ls "$work/SAVE")"
for n in 1 2 3 4 5 6; do
    diagram=$work/SAVE/problem$n.jpg
    [ "$(size_of "$diagram")" = 450x475 ] || fail "diagram $n is $(size_of "$diagram")"
    # Each square at (i*s - s/2, j*s - s/2) shows the piece-set picture of
    # what was placed there, or the empty square of its colour: the board
    # band against the board of those pictures, square by square (the
    # root-mean-square difference of each, in reading order).
    rows=()
    for j in 1 2 3 4 5 6 7 8; do
        rows+=("(")
        for i in 1 2 3 4 5 6 7 8; do
            rows+=("$work/DATA/${expected[$n,$i,$j]:-$(((i + j) % 2 == 0 ? 25 : 26))}.jpg")
        done
        rows+=(+append ")")
    done
    convert "${rows[@]}" -append "$E2E_TMP/board.ppm"
    read -r -a squares < <(convert "$diagram" -crop "$((8 * s))x$((8 * s))+$((s / 2))+$((s / 2))" +repage \
        "$E2E_TMP/board.ppm" -compose difference -composite -evaluate pow 2 -crop "${s}x${s}" \
        -format '%[fx:sqrt(mean)] ' info:; echo)
    [ ${#squares[@]} = 64 ] || fail "diagram $n: ${#squares[@]} squares measured"
    for t in $(seq 0 63); do
        below "${squares[$t]}" 0.06 ||
            fail "diagram $n: square $((t % 8 + 1)),$((t / 8 + 1)) differs from its picture by ${squares[$t]}"
    done
    dark=$(convert "$diagram" -crop 300x20+75+452 +repage -colorspace gray -format '%[fx:minima]' info:)
    below "$dark" 0.3 || fail "diagram $n has no task text"
done
# The four print slots are diagrams 1 to 4 as saved.
for n in 1 2 3 4; do
    cmp -s "$work/TEMP/$n.jpg" "$work/SAVE/problem$n.jpg" || fail "print slot $n is not diagram $n"
done

"$SHEET_CHECK" "$HOME/sheet6.jpg" 476 502 \
    "40,40,$work/SAVE/problem1.jpg" "536,40,$work/SAVE/problem2.jpg" \
    "40,562,$work/SAVE/problem3.jpg" "536,562,$work/SAVE/problem4.jpg" \
    "40,1084,$work/SAVE/problem5.jpg" "536,1084,$work/SAVE/problem6.jpg" ||
    fail "the saved sheet does not hold the six diagrams at their cells"

# check_page PDF W H X,Y,PICTURE...: one A4 page showing the 1180 x 1628
# sheet scaled to it in proportion (as wide as the page, centred down it),
# its diagrams (of the shipped set) drawn as vectors with their tasks as
# text. Rendered back at the sheet's size, each place holds its W x H
# picture, closer to it than to any other of the list.
check_page() {
    local pdf=$1 w=$2 h=$3 info place x y path other own d top images text n
    shift 3
    info=$(pdfinfo "$pdf") || fail "pdfinfo cannot read $pdf"
    grep -q '^Pages: *1$' <<<"$info" || fail "$pdf has not one page: $info"
    grep -q '^Page size: *595.276 x 841.89 pts (A4)' <<<"$info" || fail "$pdf is no A4 page: $info"
    images=$(pdfimages -list "$pdf" | tail -n +3)
    [ -z "$images" ] || fail "$pdf: the diagrams are printed as pictures: $images"
    text=$(pdftotext -layout "$pdf" -) || fail "pdftotext cannot read $pdf"
    # Place n shows diagram n. Its task as the saved diagram's record has it:
    # under valgrind the typing may lose a letter on its way to the editor,
    # which is the harness's doing, not the page's.
    for n in $(seq 1 $#); do
        # Blanks squeezed: the page's text runs keep no double blank.
        task=$(grep -a -m 1 '^caption=' "$work/SAVE/problem$n.jpg" | cut -d= -f2- | tr -s ' ')
        [ -n "$task" ] || fail "problem$n.jpg: no task in its record"
        tr -s ' ' <<<"$text" | grep -qF -- "$task" || fail "$pdf: task $n \"$task\" is not text on the page: $text"
    done
    top=$(awk 'BEGIN { printf "%d", (841.89 * 1180 / 595.276 - 1628) / 2 + 0.5 }')
    pdftoppm -r "$(awk 'BEGIN { print 72 * 1180 / 595.276 }')" \
        -png -singlefile "$pdf" "$E2E_TMP/page" || fail "pdftoppm cannot render $pdf"
    # Compared a quarter size, away from the edges: the fine hatching of the
    # dark squares does not survive resampling, its average does.
    for place in "$@"; do
        IFS=, read -r x y path <<<"$place"
        convert "$path" -crop "$((w - 10))x$((h - 10))+5+5" +repage -scale 25% "$E2E_TMP/$(basename "$path").ppm"
    done
    for place in "$@"; do
        IFS=, read -r x y path <<<"$place"
        convert "$E2E_TMP/page.png" -crop "$((w - 10))x$((h - 10))+$((x + 5))+$((y + top + 5))" +repage -scale 25% \
            "$E2E_TMP/printed.ppm"
        own=$(rmse "$E2E_TMP/printed.ppm" "$E2E_TMP/$(basename "$path").ppm")
        nearest=1
        for other in "$@"; do
            [ "$other" = "$place" ] && continue
            d=$(rmse "$E2E_TMP/printed.ppm" "$E2E_TMP/$(basename "${other##*,}").ppm")
            below "$own" "$d" || fail "$(basename "$pdf"): the place at $x,$y looks more like ${other##*/}"
            below "$d" "$nearest" && nearest=$d
        done
        echo "$(basename "$pdf") at $x,$y: $own from $(basename "$path"), nearest other $nearest"
        # The renderer's vector hatching is finer than the set's pixels, so
        # the dark squares' grey differs by more than a picture's would.
        below "$own" 0.09 || fail "$(basename "$pdf"): the place at $x,$y differs from $(basename "$path") by $own"
    done
}
check_page "$E2E_TMP/editor.pdf" 450 475 \
    "40,40,$work/TEMP/1.jpg" "510,40,$work/TEMP/2.jpg" "40,535,$work/TEMP/3.jpg" "510,535,$work/TEMP/4.jpg"
# The composer's page against the cells of its saved sheet, checked above.
places=()
n=0
for y in 40 562 1084; do
    for x in 40 536; do
        n=$((n + 1))
        convert "$HOME/sheet6.jpg" -crop "476x502+$x+$y" +repage "$E2E_TMP/cell$n.png"
        places+=("$x,$y,$E2E_TMP/cell$n.png")
    done
done
check_page "$E2E_TMP/sheet6.pdf" 476 502 "${places[@]}"
echo "workflow ($runner): six diagrams, a printed 2 x 2 sheet, a saved and a printed sheet of six checked"
