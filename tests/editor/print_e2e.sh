#!/usr/bin/env bash
# The real diagram_editor printing its sheet, driven with real X input: four
# diagrams with their tasks added to print, "Просмотр и печать", "Печать
# диаграмм", the print dialog answered with the keyboard as a user would (its
# preselected "Print to File" printer, Return), and the PDF it wrote checked
# against the slots. Twice: with the generated piece set the diagrams print
# as vectors (no picture on the page, the tasks as text); with a set whose
# pictures carry no mark (the generated one copied without it, as another
# program would) they print as the sheet's picture.
source "$SOURCE_DIR/tests/support/e2e.sh"
: "${DIAGRAM_EDITOR:?}" "${MAKE_PIECE_SET:?}"

s=50
square() {  # client-area centre of square k (column i, row j, numbered down the columns)
    local k=$1 i j
    i=$(((k - 1) / 8 + 1))
    j=$(((k - 1) % 8 + 1))
    echo $((i * s + s / 2)) $((j * s + s / 2))
}
size_of() { identify -format '%wx%h' "$1"; }
below() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a < b) }'; }
# same_box WxH+X+Y WxH+X+Y: within a pixel (the page is resampled) each way.
same_box() {
    awk -v a="$1" -v b="$2" 'BEGIN {
        split(a, p, /[x+]/); split(b, q, /[x+]/)
        for (i = 1; i <= 4; i++) if (p[i] - q[i] > 1 || q[i] - p[i] > 1) exit 1
    }'
}

# print_run vector|raster: the editor in a folder of its own with the set
# of that kind, its sheet printed and the PDF checked.
print_run() {
    local kind work pid wid sheet w h dialog pdf info end top text images x y n m own other white x_ppi y_ppi most
    local printed_box slot_box
    kind=$1
    work=$E2E_TMP/$kind
    # The file printer writes into the home folder, never into the working folder.
    export HOME=$E2E_TMP/home-$kind
    mkdir -p "$work/DATA" "$work/SAVE" "$work/TEMP" "$HOME"
    "$MAKE_PIECE_SET" "$work/DATA/" "$s" || fail "make_piece_set failed"
    if [ "$kind" = raster ]; then
        for f in "$work"/DATA/*.jpg; do convert "$f" -strip -quality 100 "$f" || fail "cannot copy $f"; done
        identify -format '%c' "$work/DATA/1.jpg" | grep -q . && fail "the copied set still carries its mark"
    fi
    cd "$work"
    start_program "$E2E_TMP/editor.log" "$DIAGRAM_EDITOR"
    pid=$LAST_PID
    wid=$(wait_window "$pid" "Chess diagram")
    focus "$wid"

    # Four diagrams, each with one more piece (another one, on another square).
    palette=("525 53" "525 106" "525 159" "580 53")
    for n in 1 2 3 4; do
        click "$wid" ${palette[$((n - 1))]}
        click "$wid" $(square $((9 * n - 8)))
        if [ "$n" = 1 ]; then       # a cross (extra symbol 1) on h1
            click "$wid" 635 106
            click "$wid" $(square 64)
        fi
        click "$wid" 250 492       # the task field
        key ctrl+a
        type_text "Задача $n"
        click "$wid" 645 372       # "Добавить к печати"
        end=$((SECONDS + 10))
        until [ "$(size_of "TEMP/$n.jpg" 2>/dev/null)" = 450x475 ]; do
            [ $SECONDS -lt $end ] || fail "slot $n was not written"
            sleep 0.1
        done
    done

    click "$wid" 645 402           # "Просмотр и печать"
    sheet=$(wait_window "$pid" "")
    read -r w h < <(xwininfo -id "$sheet" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w, h}')
    [ "$w" = 1000 ] && [ "$h" = 730 ] || fail "the sheet window is ${w}x${h}, not 1000x730"
    focus "$sheet"
    click "$sheet" 500 707          # "Печать диаграмм"

    dialog=$(wait_window "$pid" "Print")
    # With no default printer named by the print system, the file printer is
    # preselected a moment after the dialog appears; then Return prints.
    sleep 2
    focus "$dialog"
    key Return
    pdf=$HOME/output.pdf
    wait_for_file "$pdf" 30
    # The Print answer closed the dialog.
    end=$((SECONDS + 10))
    while xdotool search --all --onlyvisible --pid "$pid" --name '^Print$' >/dev/null 2>&1; do
        [ $SECONDS -lt $end ] || fail "the print dialog stayed open"
        sleep 0.1
    done

    close_window "$sheet"
    sleep 0.5
    kill -0 "$pid" 2>/dev/null || fail "the editor ended with the sheet window"
    close_window "$wid"
    wait_exit "$pid"
    [ "$EXIT_STATUS" = 0 ] || fail "exit status $EXIT_STATUS; log: $(cat "$E2E_TMP/editor.log")"

    # ---- the PDF ----
    tail -c 16 "$pdf" | grep -q '%%EOF' || fail "the PDF has no end"
    info=$(pdfinfo "$pdf") || fail "pdfinfo cannot read the PDF"
    grep -q '^Pages: *1$' <<<"$info" || fail "not one page: $info"
    grep -q '^Page size: *595.276 x 841.89 pts (A4)' <<<"$info" || fail "not an A4 page: $info"
    ls "$work" "$work/TEMP" | grep -q '\.pdf$' && fail "a PDF landed in the working folder"

    text=$(pdftotext -layout "$pdf" -) || fail "pdftotext cannot read the PDF"
    if [ "$kind" = vector ]; then
        # The renderer's diagrams: no picture at all, the tasks as text.
        images=$(pdfimages -list "$pdf" | tail -n +3)
        [ -z "$images" ] || fail "the page holds pictures: $images"
        for n in 1 2 3 4; do grep -q "Задача $n" <<<"$text" || fail "task $n is not text on the page: $text"; done
    else
        # The sheet scaled to the page keeping its proportions: the picture
        # placed with the same resolution across and down, and the sheet as
        # wide as the page, centred down it.
        read -r x_ppi y_ppi < <(pdfimages -list "$pdf" | awk 'NR == 3 {print $13, $14}')
        [ -n "$x_ppi" ] && [ "$x_ppi" = "$y_ppi" ] || fail "the sheet is placed at $x_ppi x $y_ppi ppi"
        grep -q "Задача" <<<"$text" && fail "the picture's tasks are text: $text"
    fi
    # Rendered at the resolution that gives the sheet back at its own size, the
    # page shows each slot picture where the sheet has it, shifted down by half
    # of what the page has left over.
    pdftoppm -r "$(awk 'BEGIN { print 72 * 1180 / 595.276 }')" -png -singlefile "$pdf" "$E2E_TMP/page-$kind" ||
        fail "pdftoppm cannot render the PDF"
    top=$(awk 'BEGIN { printf "%d", (841.89 * 1180 / 595.276 - 1628) / 2 + 0.5 }')
    places=("40 40" "510 40" "40 535" "510 535")
    # Compared a quarter size: the fine hatching of the dark squares does not
    # survive any resampling as it is, its average does. The renderer's
    # vector hatching is finer than the set's pixels: the grey of its dark
    # squares differs a little more.
    most=0.04
    [ "$kind" = vector ] && most=0.08
    rmse() { { compare -metric RMSE "$1" "$2" null: 2>&1 || true; } | sed -n 's/.*(\(.*\)).*/\1/p'; }
    for n in 1 2 3 4; do
        convert "TEMP/$n.jpg" -crop "440x465+5+5" +repage -scale 25% "$E2E_TMP/slot$n.ppm"
    done
    for n in 1 2 3 4; do
        read -r x y <<<"${places[$((n - 1))]}"
        # Away from the edges, which the renderer blends with their surroundings.
        convert "$E2E_TMP/page-$kind.png" -crop "440x465+$((x + 5))+$((y + top + 5))" +repage -scale 25% "$E2E_TMP/printed.ppm"
        own=$(rmse "$E2E_TMP/printed.ppm" "$E2E_TMP/slot$n.ppm")
        below "$own" "$most" || fail "$kind: diagram $n on the page differs from its slot by $own"
        # The renderer's frame where the slot's is, within a pixel: the
        # board's box on the page against the slot's, both in a white margin
        # of 6 pixels.
        if [ "$kind" = vector ]; then
            printed_box=$(convert "$E2E_TMP/page-$kind.png" -crop "460x455+$((x - 5))+$((y + top - 5))" +repage \
                -threshold 50% -bordercolor white -border 1 -trim -format '%@' info:)
            slot_box=$(convert "TEMP/$n.jpg" -crop 450x450+0+0 +repage -bordercolor white -border 6 -threshold 50% \
                -trim -format '%@' info:)
            same_box "$printed_box" "$slot_box" ||
                fail "$kind: diagram $n's frame is at $printed_box on the page, $slot_box in its slot"
        fi
        # The diagrams differ by one piece: the place shows its own slot's, not another's.
        for m in 1 2 3 4; do
            [ "$m" = "$n" ] && continue
            other=$(rmse "$E2E_TMP/printed.ppm" "$E2E_TMP/slot$m.ppm")
            below "$own" "$other" || fail "place $n looks more like slot $m ($other) than its own ($own)"
        done
    done
    # Outside the grid the page is white.
    white=$(convert "$E2E_TMP/page-$kind.png" -crop 900x500+40+$((1060 + top)) +repage -colorspace gray -format '%[fx:minima]' info:)
    below 0.95 "$white" || fail "the page below the diagrams is not white"
}

print_run vector
print_run raster
echo "print: four diagrams printed on one A4 page through the print dialog, as vectors and as the picture"
