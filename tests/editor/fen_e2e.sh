#!/usr/bin/env bash
# FEN in and out of the real diagram_editor with real keys and the real
# clipboard: Ctrl+V sets up the clipboard's position (or the selection's
# when the clipboard holds no text), every square checked on screen and in
# the saved diagram; a text that is no FEN leaves the board alone and says
# so; Ctrl+C copies the board's FEN; the saved diagram and the print slot
# carry the diagram record (naming the generated set), read back here by ImageMagick; diagram_batch
# draws a folder of them anew as PDF, marks and captions included.
source "$SOURCE_DIR/tests/support/e2e.sh"
: "${DIAGRAM_EDITOR:?}" "${MAKE_PIECE_SET:?}" "${DIAGRAM_BATCH:?}"

s=50
work=$E2E_TMP/work
mkdir -p "$work/DATA" "$work/SAVE" "$work/TEMP"
"$MAKE_PIECE_SET" "$work/DATA/" "$s" || fail "make_piece_set failed"
cd "$work"

# The 64 letters of a placement, a8 to h8, then rank 7, ... ('.' empty).
expand() {
    local placement=${1%% *} out="" c n
    for ((n = 0; n < ${#placement}; n++)); do
        c=${placement:n:1}
        case $c in
            /) ;;
            [1-8]) out+=$(printf '%*s' "$c" '' | tr ' ' .) ;;
            *) out+=$c ;;
        esac
    done
    echo "$out"
}
# The piece-set picture of square gadget k (column i, row j) for the letters.
picture_of() {  # picture_of LETTERS K
    local letters=$1 k=$2 i j c p light
    i=$(((k - 1) / 8 + 1))
    j=$(((k - 1) % 8 + 1))
    c=${letters:$(((j - 1) * 8 + i - 1)):1}
    light=$(((i + j) % 2 == 0))
    case $c in
        .) p=25 ;; x) p=29 ;; o) p=31 ;;
        *) p=$(($(expr index KQRBNPkqrbnp "$c") * 2 - 1)) ;;
    esac
    [ "$c" = . ] && [ $light = 0 ] && p=26
    [ "$c" != . ] && [ $light = 0 ] && p=$((p + 1))
    echo "$p"
}
below() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a < b) }'; }

# check_board PICTURE LETTERS X0 Y0 LIMIT WHAT: square k at (X0 + i*s, Y0 + j*s).
check_board() {
    local picture=$1 letters=$2 x0=$3 y0=$4 limit=$5 what=$6 k i j n d
    rm -f "$E2E_TMP"/tile_*.ppm
    # The board cut into its 64 squares, row by row.
    convert "$picture" -crop "$((8 * s))x$((8 * s))+$((x0 + s))+$((y0 + s))" +repage \
        -crop "${s}x${s}" +repage "$E2E_TMP/tile_%d.ppm"
    for k in $(seq 64); do
        i=$(((k - 1) / 8 + 1))
        j=$(((k - 1) % 8 + 1))
        n=$(picture_of "$letters" "$k")
        d=$({ compare -metric RMSE "$E2E_TMP/tile_$(((j - 1) * 8 + i - 1)).ppm" "DATA/$n.jpg" null: 2>&1 || true; } |
            sed -n 's/.*(\(.*\)).*/\1/p')
        below "$d" "$limit" || fail "$what: square $k differs from picture $n by $d"
    done
}
board_shot() { import -window "$wid" "$1"; }

# offer SELECTION [XCLIP OPTION...] < DATA: xclip holds the selection in the
# background until another program takes it; it is ended with the test, and
# keeps none of the test's output open.
offer() {
    local selection=$1 data=$E2E_TMP/offer.$RANDOM; shift
    cat >"$data"
    xclip -quiet -selection "$selection" "$@" -i "$data" </dev/null >/dev/null 2>&1 &
    E2E_PIDS+=($!)
    # Ready once the selection answers (text only; a picture gets a moment).
    local end=$((SECONDS + 5))
    if [ $# = 0 ]; then
        until [ "$(xclip -selection "$selection" -o 2>/dev/null)" = "$(cat "$data")" ]; do
            [ $SECONDS -lt $end ] || fail "xclip did not take the $selection selection"
            sleep 0.05
        done
    else
        sleep 0.5
    fi
}

start_program "$E2E_TMP/editor.log" "$DIAGRAM_EDITOR"
pid=$LAST_PID
wid=$(wait_window "$pid" "Chess diagram")
focus "$wid"

# ---- a task typed first, then Tab: the focus leaves the field ----
click "$wid" 250 492
type_text "Белые начинают"
key Tab

# ---- Ctrl+V: the clipboard's FEN on the board ----
fen1="r1bqk2r/pppp1ppp/2n2n2/2b1p3/2B1P3/3P1N2/PPP2PPP/RNBQK2R w KQkq - 1 5"
printf '%s' "$fen1" | offer clipboard
key ctrl+v
sleep 0.3
board_shot "$E2E_TMP/screen1.png"
check_board "$E2E_TMP/screen1.png" "$(expand "$fen1")" 0 0 0.02 "pasted position on screen"

# ---- a cross and a dot by hand, then Ctrl+C ----
click "$wid" 635 106               # extra symbol 1: the cross
click "$wid" 275 225               # column 5, row 4: e5, over a black pawn
click "$wid" 635 159               # extra symbol 2: the dot
click "$wid" 75 275                # column 1, row 5: a4
key ctrl+c
copied=$(xclip -selection clipboard -o)
expected_fen="r1bqk2r/pppp1ppp/2n2n2/2b5/2B1P3/3P1N2/PPP2PPP/RNBQK2R w - - 0 1"
[ "$copied" = "$expected_fen" ] || fail "Ctrl+C copied '$copied', not '$expected_fen'"

# ---- saved: every square, and the record ----
click "$wid" 645 432               # "Сохранить изображение"
dialog=$(wait_window "$pid" "Save image")
focus "$dialog"
type_text "pasted"
key Return
wait_for_file SAVE/pasted.jpg
focus "$wid"
# put LETTERS SQUARE CHAR: the letters with one square replaced.
put() {
    local letters=$1 square=$2 f r at
    f=$(($(printf '%d' "'${square:0:1}") - 97))
    r=${square:1:1}
    at=$(((8 - r) * 8 + f))
    echo "${letters:0:at}$3${letters:at+1}"
}
letters=$(put "$(put "$(expand "$expected_fen")" e5 x)" a4 o)
check_board SAVE/pasted.jpg "$letters" -25 -25 0.06 "saved diagram"
record=$(identify -format '%c' SAVE/pasted.jpg)
expected_record="chess-diagram/1
fen=$expected_fen
marks=x:e5;o:a4
caption=Белые начинают
square=50
set=book"
[ "$record" = "$expected_record" ] || fail "the saved diagram's record is:
$record"

# ---- a text that is no FEN: a message, the board as it was ----
board_shot "$E2E_TMP/before.png"
printf 'rnbqkbnr/pppppppp/9/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1' | offer clipboard
key ctrl+v
end=$((SECONDS + 10))
until [ "$(xdotool search --all --onlyvisible --pid "$pid" --name '^Chess diagram$' | wc -l)" -ge 2 ]; do
    [ $SECONDS -lt $end ] || fail "no message for a text that is no FEN"
    sleep 0.1
done
grep -qF "В буфере обмена не позиция FEN: Ошибка: unknown piece letter '9' (символ 19)" "$E2E_TMP/editor.log" ||
    fail "the message said: $(tail -n 2 "$E2E_TMP/editor.log")"
message=$(xdotool search --all --onlyvisible --pid "$pid" --name '^Chess diagram$' | grep -vx "$wid" | head -n 1)
focus "$message"
key Return
end=$((SECONDS + 10))
while [ "$(xdotool search --all --onlyvisible --pid "$pid" --name '^Chess diagram$' | wc -l)" -ge 2 ]; do
    [ $SECONDS -lt $end ] || fail "the message did not close"
    sleep 0.1
done
focus "$wid"
board_shot "$E2E_TMP/after.png"
d=$({ compare -metric AE "$E2E_TMP/before.png" "$E2E_TMP/after.png" null: 2>&1 || true; })
[ "$d" = 0 ] || fail "the board changed after a bad paste ($d pixels)"

# ---- no text on the clipboard: the primary selection's FEN ----
convert -size 4x4 xc:red "$E2E_TMP/red.png"
offer clipboard -t image/png <"$E2E_TMP/red.png"
fen2="8/8/8/4k3/8/8/4P3/4K3"
printf '  %s  ' "$fen2" | offer primary
key ctrl+v
sleep 0.3
board_shot "$E2E_TMP/screen2.png"
check_board "$E2E_TMP/screen2.png" "$(expand "$fen2")" 0 0 0.02 "position from the selection"

# ---- Ctrl+V inside the task field pastes text, the board stays ----
printf '%s' "$fen1" | offer clipboard
click "$wid" 250 492
key ctrl+a
key ctrl+v
key Tab
click "$wid" 645 372               # "Добавить к печати"
end=$((SECONDS + 10))
until [ "$(identify -format '%wx%h' TEMP/1.jpg 2>/dev/null)" = 450x475 ]; do
    [ $SECONDS -lt $end ] || fail "slot 1 was not written"
    sleep 0.1
done
sleep 0.3
check_board TEMP/1.jpg "$(expand "$fen2")" -25 -25 0.06 "print slot"
record=$(identify -format '%c' TEMP/1.jpg)
expected_record="chess-diagram/1
fen=$fen2 w - - 0 1
marks=
caption=$fen1
square=50
set=book"
[ "$record" = "$expected_record" ] || fail "the print slot's record is:
$record"

close_window "$wid"
wait_exit "$pid"
[ "$EXIT_STATUS" = 0 ] || fail "exit status $EXIT_STATUS; log: $(cat "$E2E_TMP/editor.log")"

# ---- a folder of saved diagrams through diagram_batch: a vector PDF each ----
book=$E2E_TMP/book
mkdir -p "$book"
cp SAVE/pasted.jpg "$book/1-pasted.jpg"
cp TEMP/1.jpg "$book/2-slot.jpg"
printf 'not a picture' >"$book/3-bad.jpg"
convert -size 8x8 xc:white "$book/4-plain.jpg"
set +e
env -u DISPLAY "$DIAGRAM_BATCH" -f pdf -o "$E2E_TMP/out/" "$book" 2>"$E2E_TMP/batch.err"
status=$?
set -e
[ "$status" = 1 ] || fail "diagram_batch on the folder exited $status: $(cat "$E2E_TMP/batch.err")"
grep -qF "$book/3-bad.jpg: not a JPEG file" "$E2E_TMP/batch.err" &&
    grep -qF "$book/4-plain.jpg: the picture holds no diagram record" "$E2E_TMP/batch.err" ||
    fail "the pictures without a record were reported as: $(cat "$E2E_TMP/batch.err")"
# The same positions and captions from a FEN list, marks aside.
printf '%s %s\n%s w - - 0 1 %s\n' "$expected_fen" "Белые начинают" "$fen2" "$fen1" >"$E2E_TMP/reference.txt"
env -u DISPLAY "$DIAGRAM_BATCH" -f pdf -o "$E2E_TMP/reference/" "$E2E_TMP/reference.txt" ||
    fail "diagram_batch on the reference list failed"
# Pages at 100 pixels a square: the board from (50, 50), the caption band below 900.
for n in 1 2; do
    [ -s "$E2E_TMP/out/$n.pdf" ] || fail "no $n.pdf from the folder: $(ls "$E2E_TMP/out")"
    pdftoppm -png -singlefile -scale-to-x 900 -scale-to-y 950 "$E2E_TMP/out/$n.pdf" "$E2E_TMP/book$n"
    pdftoppm -png -singlefile -scale-to-x 900 -scale-to-y 950 "$E2E_TMP/reference/$n.pdf" "$E2E_TMP/reference$n"
done
ae() {  # ae GEOMETRY A B: differing pixels of a crop
    convert "$2" -crop "$1" +repage "$E2E_TMP/a.png"
    convert "$3" -crop "$1" +repage "$E2E_TMP/b.png"
    { compare -metric AE "$E2E_TMP/a.png" "$E2E_TMP/b.png" null: 2>&1 || true; }
}
for f in 0 1 2 3 4 5 6 7; do
    for r in 1 2 3 4 5 6 7 8; do
        name=$(printf "\\$(printf '%03o' $((97 + f)))")$r
        d=$(ae "100x100+$((50 + f * 100))+$((50 + (8 - r) * 100))" "$E2E_TMP/book1.png" "$E2E_TMP/reference1.png")
        case $name in
            e5 | a4) [ "$d" -gt 300 ] || fail "the mark on $name is missing from the PDF ($d pixels differ)" ;;
            *) [ "$d" -le 20 ] || fail "square $name of the PDF differs from the FEN's by $d pixels" ;;
        esac
    done
done
d=$(ae 900x50+0+900 "$E2E_TMP/book1.png" "$E2E_TMP/reference1.png")
[ "$d" -le 20 ] || fail "the PDF's caption differs by $d pixels"
d=$(ae 900x950+0+0 "$E2E_TMP/book2.png" "$E2E_TMP/reference2.png")
[ "$d" -le 20 ] || fail "the print slot's PDF differs from its FEN's by $d pixels"
echo "editor: FEN pasted from clipboard and selection, copied, refused, and kept in saved diagrams; diagram_batch drew them anew"
