# diagram_batch end to end, without a display: lists with good and bad lines
# in every format, single files, standard input, failures that must leave
# existing files alone, and what the program links.
set -euo pipefail

: "${DIAGRAM_BATCH:?DIAGRAM_BATCH must name the program}"
: "${BUILD_DIR:?BUILD_DIR must name the build folder}"
unset DISPLAY WAYLAND_DISPLAY

T=$(mktemp -d /tmp/diagram-batch-e2e.XXXXXX)
trap 'rm -rf "$T"' EXIT
chmod 755 "$T"
cd "$T"

fail() {
    echo "FAIL: $*" >&2
    for f in "$T"/*.err; do [ -s "$f" ] && { echo "--- $f:" >&2; cat "$f" >&2; }; done
    exit 1
}

# run NAME STATUS ARG...: runs the program, expects STATUS, keeps its
# standard error in NAME.err.
run() {
    local name=$1 expected=$2 status=0
    shift 2
    "$DIAGRAM_BATCH" "$@" >"$name.out" 2>"$name.err" </dev/null || status=$?
    [ "$status" = "$expected" ] || fail "$name: exit status $status, expected $expected ($*)"
}

same_lines() {  # FILE EXPECTED: the file holds exactly these lines
    diff -u <(printf '%s\n' "$2") "$1" >&2 || fail "$1 differs from what was expected"
}

# ---- A list with good and bad lines -----------------------------------------
{
    printf '\xEF\xBB\xBF# Задачи для кружка\r\n'
    printf 'rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1 Мат в 2 хода\r\n'
    printf '\r\n'
    printf '8/8/8/4k3/8/8/8/4KX3 w - - 0 1 bad letter\r\n'
    printf '2k5/8/8/8/8/8/8/4K2R w K - bm O-O; id "castle.1"; c0 "Рокировка";\r\n'
    head -c 70000 /dev/zero | tr '\0' 'x'
    printf '\n'
    printf '8/8/8/4k3/8/8/8/4K3 w - - 0 1 broken \xD0 caption \xFF\n'
    printf '8/8/8/4k3/8/8/8/4K3 w - - id "open\n'
} >list.txt
# Position lines 1, 3 and 5 of 6 are good: files 1, 3, 5; the numbering
# counts the bad lines too.
for format in jpeg png svg pdf; do
    run "list-$format" 1 --format "$format" -o "out-$format" -j 2 list.txt
    same_lines "list-$format.err" "list.txt:4:19: unknown piece letter 'X'
list.txt:6: line longer than 65536 bytes, skipped
list.txt:8:30: string of 'id' has no closing '\"'"
    [ ! -s "list-$format.out" ] || fail "list-$format: wrote to standard output"
    ext=$format; [ "$format" = jpeg ] && ext=jpg
    same_lines <(cd "out-$format" && ls) "1.$ext
3.$ext
5.$ext"
done

# PDF and SVG are vector drawings of the diagram's own size: 6 cm wide,
# 9.5/9 of that high, and no picture inside.
pages=$(pdfinfo out-pdf/1.pdf | sed -n 's/^Page size: *\([0-9.]*\) x \([0-9.]*\) pts.*/\1 \2/p')
awk -v p="$pages" 'BEGIN { split(p, s, " "); exit !(s[1] > 170.0 && s[1] < 170.2 && s[2] > 179.4 && s[2] < 179.7) }' ||
    fail "PDF page is $pages points, not 6 cm x 6.33 cm"
for f in out-pdf/*.pdf; do
    [ "$(pdfimages -list "$f" | tail -n +3 | wc -l)" = 0 ] || fail "$f holds a raster picture"
done
pdftotext out-pdf/3.pdf - | grep -q "Рокировка" || fail "the EPD caption is not in the PDF"
for f in out-svg/*.svg; do
    grep -q '<svg' "$f" && grep -q '<path' "$f" || fail "$f is no vector drawing"
    ! grep -q '<image' "$f" || fail "$f holds a raster picture"
done
grep -q 'width="170.07' out-svg/1.svg || fail "SVG is not 6 cm wide: $(grep -o 'width="[^"]*"' out-svg/1.svg | head -1)"

# PNG and JPEG at the resolution asked for: 6 cm at 300 dpi is 708.66 x
# 748.03 pixels, 4 cm at 150 dpi 236.22 x 249.35, each rounded up.
[ "$(identify -format '%w %h' out-png/1.png)" = "709 749" ] || fail "PNG at 300 dpi: $(identify -format '%w %h' out-png/1.png)"
[ "$(identify -format '%w %h %m' out-jpeg/5.jpg)" = "709 749 JPEG" ] || fail "JPEG at 300 dpi"
"$DIAGRAM_BATCH" --dpi 150 --size 4 -o dpi.png - <<<"8/8/8/4k3/8/8/8/4K3 w - - 0 1" 2>dpi.err || fail "standard input"
[ "$(identify -format '%w %h' dpi.png)" = "237 250" ] || fail "PNG at 150 dpi, 4 cm: $(identify -format '%w %h' dpi.png)"

# One worker or two: the same files.
for n in $(seq 30); do echo "8/8/8/4k3/8/8/8/4K3 w - - 0 1 Позиция $n"; done >thirty.txt
run one-worker 0 -j 1 -o j1 thirty.txt
run two-workers 0 -j 2 -o j2 thirty.txt
[ "$(ls j2 | head -1)" = 01.jpg ] && [ "$(ls j2 | wc -l)" = 30 ] || fail "thirty files named 01.jpg to 30.jpg"
diff -r j1 j2 >/dev/null || fail "two workers wrote other files than one"
[ ! -s two-workers.err ] || fail "a run off a terminal printed progress or messages"

# The raster piece set: the editor's picture, 9s x (9s + s/2).
pieces=$BUILD_DIR/packaging/DATA
run pieces 1 --pieces "$pieces" -o pieces list.txt
same_lines <(cd pieces && ls) "1.jpg
3.jpg
5.jpg"
[ "$(identify -format '%w %h %m' pieces/3.jpg)" = "450 475 JPEG" ] || fail "--pieces: $(identify pieces/3.jpg)"
run pieces-png 2 --pieces "$pieces" --format png -o pieces-png list.txt
run pieces-size 2 --pieces "$pieces" --size 4 -o pieces-size list.txt
run pieces-missing 2 --pieces "$T/no-such-set" -o pieces-missing list.txt
grep -qi "^diagram_batch: piece set $T/no-such-set/: $T/no-such-set/1.jpg: no such file" pieces-missing.err ||
    fail "no message for a missing piece set"
[ ! -e pieces-missing ] || fail "a missing piece set left an output folder"
# A set with one picture of another size would draw over the frame.
cp -r "$pieces" odd-set
cp odd-set/1.jpg odd-set/28.jpg
run pieces-odd 2 --pieces odd-set -o pieces-odd list.txt
grep -q "^diagram_batch: piece set odd-set/: odd-set/28.jpg: 50 x 50 pixels, not 25 x 400 " pieces-odd.err ||
    fail "no message for a mis-sized picture: $(cat pieces-odd.err)"
[ ! -e pieces-odd ] || fail "a mis-sized piece set left an output folder"
# Marks on the editor's picture: the marked square and the arrow's file
# change, the rest of the board is the editor's picture as it was.
printf '%s\n' '4k3/8/8/8/8/8/8/4K2R w K - c0 "M"; c1 "[%csl Rd5][%cal Rh1h8]";' '4k3/8/8/8/8/8/8/4K2R w K - c0 "M";' >marked.epd
run pieces-marks 0 --pieces "$pieces" -o pieces-marks marked.epd
same_region() {  # WxH+X+Y: the two pictures alike there
    [ "$(compare -metric AE -fuzz 3% -extract "$1" pieces-marks/1.jpg pieces-marks/2.jpg null: 2>&1)" = 0 ]
}
same_region 150x150+25+275 || fail "--pieces marks changed the squares a1 to c3"
same_region 425x25+0+450 || fail "--pieces marks changed the caption"
! same_region 50x50+175+175 || fail "--pieces drew no mark on d5"
! same_region 50x350+375+50 || fail "--pieces drew no arrow up the h-file"
run pieces-marks-sheet 0 --pieces "$pieces" --layout 2x2 -o pieces-marks-sheet marked.epd
[ "$(identify -format '%w %h' pieces-marks-sheet/001.jpg)" = "1180 1628" ] || fail "no sheet with a marked diagram"
# The editor's pictures and sheets say what they show, as the editor's own
# saved diagrams do: read back, the same positions, captions and marks, the
# set named by its pictures' mark.
rdjpgcom_set() { grep -a -o 'set=[a-z]*' "$1" | head -1; }
[ "$(rdjpgcom_set pieces-marks/1.jpg)" = set=book ] || fail "--pieces picture names no set"
run pieces-back 0 --format epd -o pieces-back.epd pieces-marks/1.jpg pieces-marks/2.jpg pieces-marks-sheet/001.jpg
same_lines <(cut -d' ' -f1-4 pieces-back.epd) "4k3/8/8/8/8/8/8/4K2R w K -
4k3/8/8/8/8/8/8/4K2R w K -
4k3/8/8/8/8/8/8/4K2R w K -
4k3/8/8/8/8/8/8/4K2R w K -"
[ "$(grep -c 'c0 "M";' pieces-back.epd)" = 4 ] || fail "captions lost: $(cat pieces-back.epd)"
[ "$(grep -c 'Rd5' pieces-back.epd)" = 2 ] || fail "marks lost: $(cat pieces-back.epd)"

# On a terminal: a progress line for runs longer than about a second, ended
# by a summary. (Off a terminal nothing, as checked above.)
for n in $(seq 1000); do echo "8/8/8/4k3/8/8/8/4K3 w - - 0 1 Позиция $n"; done >thousand.txt
start=$(date +%s%N)
script -qec "'$DIAGRAM_BATCH' -j 1 -o pty thousand.txt" /dev/null >pty.log </dev/null || fail "run on a terminal failed"
elapsed_ms=$((($(date +%s%N) - start) / 1000000))
[ "$(ls pty | wc -l)" = 1000 ] || fail "run on a terminal: $(ls pty | wc -l) files"
if [ "$elapsed_ms" -gt 1500 ]; then
    tr '\r' '\n' <pty.log | grep -Eq '^diagram_batch: [0-9]+/1000 diagrams, [0-9]+/s' ||
        fail "no progress line in a run of $elapsed_ms ms: $(tr '\r' '\n' <pty.log | tail -3)"
    tr '\r' '\n' <pty.log | grep -Eq '^diagram_batch: 1000 of 1000 diagrams written in [0-9.]+ s, [0-9]+/s' ||
        fail "no summary after a run of $elapsed_ms ms"
elif [ "$elapsed_ms" -lt 800 ] && [ -s pty.log ]; then
    fail "a run of $elapsed_ms ms printed: $(cat pty.log)"
fi

# Stopped by a signal: the files being written are finished, nothing
# half-written or temporary is left, and the signal ends the program.
"$DIAGRAM_BATCH" -j 2 -o stopped thousand.txt 2>stopped.err &
pid=$!
sleep 0.7
kill -TERM $pid
status=0
wait $pid || status=$?
if [ "$status" = 0 ]; then
    echo "note: 1000 diagrams took less than 0.7 s; interruption not checked"
else
    [ "$status" = 143 ] || fail "stopped by SIGTERM: exit status $status"
    done_count=$(ls stopped | wc -l)
    grep -qx "diagram_batch: interrupted: $done_count of 1000 diagrams written" stopped.err ||
        fail "stopped: $(cat stopped.err), $done_count files"
    [ -z "$(ls -A stopped | grep '^\.')" ] || fail "temporary files left: $(ls -A stopped | grep '^\.')"
    for f in stopped/*; do
        [ "$(identify -format '%w %h' "$f")" = "709 749" ] || fail "$f is not a whole diagram"
    done
fi

# ---- Single files -----------------------------------------------------------
echo "8/8/8/4k3/8/8/8/4K3 w - - 0 1" >single.txt
run single 0 -o single.pdf single.txt
[ -s single.pdf ] || fail "single file not written"
# A path with an unknown extension, or a trailing '/', is a folder.
run folder-by-name 0 -o by-name.d single.txt
[ -f by-name.d/1.jpg ] || fail "'by-name.d' was not taken as a folder"
run folder-by-slash 0 -o slash.pdf/ single.txt
[ -f slash.pdf/1.jpg ] || fail "'slash.pdf/' was not taken as a folder"
# Several positions into one file: refused before anything is written.
echo keep >kept.jpg
run one-file-many 2 -o kept.jpg thirty.txt
[ "$(cat kept.jpg)" = keep ] || fail "a refused run touched kept.jpg"
grep -q "^diagram_batch: the output kept.jpg is one file, but the input holds 30 positions" one-file-many.err ||
    fail "no message for several positions into one file"
run format-clash 2 --format png -o clash.jpg single.txt
[ ! -e clash.jpg ] || fail "format clash wrote a file"

# ---- Nothing done -----------------------------------------------------------
run missing 2 -o none missing.txt
grep -q "^diagram_batch: missing.txt: No such file or directory" missing.err || fail "no message for a missing list"
run empty 2 -o none - 
grep -q "^diagram_batch: no positions in the input" empty.err || fail "no message for an empty input"
printf '8/8/8/9/8/8/8/8\n' >bad.txt
run all-bad 2 -o none bad.txt
[ ! -e none ] || fail "a run with nothing to draw created its folder"
run bad-option 2 --size 0 single.txt
# Sizes that give no legible board, or a picture larger than a worker
# should hold, are refused with the reason before anything is written.
run tiny 2 --size 0.5 -o tiny/ single.txt
grep -q "from 1 (a legible board)" tiny.err || fail "no reason for --size 0.5: $(cat tiny.err)"
run coarse 2 --size 6 --dpi 30 -f png -o coarse/ single.txt
grep -q "squares of 7.87 pixels" coarse.err || fail "no reason for 30 dpi: $(cat coarse.err)"
run huge 2 --size 100 -f jpeg -o huge/ single.txt
grep -q "40 million pixels" huge.err || fail "no reason for --size 100: $(cat huge.err)"
[ ! -e tiny ] && [ ! -e coarse ] && [ ! -e huge ] || fail "a refused size wrote something"
# A caption too long for three lines is cut short and reported; the
# diagram is written all the same.
printf '8/8/8/4k3/8/8/8/4K3 w - - 0 1 %s\n' "$(seq -s ' ' 1 200)" >long-caption.txt
run long-caption 0 -o long-caption.pdf long-caption.txt
grep -q "^diagram_batch: long-caption.pdf: caption shortened to three lines$" long-caption.err ||
    fail "no warning for a long caption: $(cat long-caption.err)"
pdftotext long-caption.pdf - | grep -q '…$' || fail "the long caption does not end in an ellipsis"
run unknown-option 2 --colour single.txt
run no-input 2 -o none
run version 0 --version
grep -Eq '^diagram_batch [0-9]+\.[0-9]+\.[0-9]+$' version.out || fail "version: $(cat version.out)"
run help 0 --help
grep -q -- '--pieces' help.out || fail "help does not name --pieces"
# '--' ends the options: a list named like an option.
cp single.txt ./-j
run dashdash 0 -o dashdash -- -j
[ -f dashdash/1.jpg ] || fail "'--' did not end the options"

# An output folder that cannot be written: nothing done, old files as they were.
mkdir locked
echo old >locked/1.jpg
echo old >locked/2.jpg
before=$(md5sum locked/*)
chmod 555 locked
if [ "$(id -u)" = 0 ]; then
    # root writes anywhere; the same run as an ordinary user.
    status=0
    setpriv --reuid=nobody --regid=nogroup --clear-groups "$DIAGRAM_BATCH" -o locked thirty.txt 2>locked.err || status=$?
else
    status=0
    "$DIAGRAM_BATCH" -o locked thirty.txt 2>locked.err || status=$?
fi
[ "$status" = 2 ] || fail "unwritable folder: exit status $status"
grep -q "^diagram_batch: cannot write locked/01.jpg: Permission denied" locked.err || fail "unwritable folder: $(head -2 locked.err)"
chmod 755 locked
[ "$(md5sum locked/*)" = "$before" ] || fail "unwritable folder: old files changed"
[ "$(ls -A locked | wc -l)" = 2 ] || fail "unwritable folder: files left behind"

# ---- No display, no GTK -----------------------------------------------------
if readelf -d "$DIAGRAM_BATCH" | grep NEEDED | grep -Eq 'libgtk|libgdk-x11|libX11'; then
    fail "diagram_batch links GTK, GDK or X11: $(readelf -d "$DIAGRAM_BATCH" | grep NEEDED)"
fi
if ldd "$DIAGRAM_BATCH" | grep -Eq 'libgtk-x11|libgdk-x11'; then
    fail "diagram_batch loads GTK or GDK: $(ldd "$DIAGRAM_BATCH" | grep -E 'gtk|gdk')"
fi
# No GTK or GDK header reaches the sources of core/, render/ and batch/.
depfiles=$(find "$BUILD_DIR/core" "$BUILD_DIR/batch" "$BUILD_DIR/render" -name '*.o.d' 2>/dev/null || true)
[ -n "$depfiles" ] || fail "no dependency files under $BUILD_DIR"
if grep -l '/gtk-2\.0/\|/gtk-unix-print-2\.0/' $depfiles; then
    fail "a GTK or GDK header is included from core/, render/ or batch/"
fi
echo "batch_e2e: all checks passed"
