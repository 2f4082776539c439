# diagram_batch making a worksheet from a PGN file, checked page by page with
# poppler's tools: page count and size, the numbers, captions and solutions
# as text, a known square's pixels, no pictures inside, the positions read
# back from the book; a broken game named and skipped; flips; pages as PNG files; answer keys from EPD.
set -euo pipefail
: "${DIAGRAM_BATCH:?}"
work=$(mktemp -d /tmp/diagrams-book.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
cd "$work"

# Fourteen puzzles and one broken game (the third): 14 diagrams, two pages
# of twelve, then the answer key.
{
    for n in $(seq 1 14); do
        if [ "$n" = 3 ]; then
            printf '[Event "Broken"]\n\n1. e4 e5 2. Nf3 Nf6 3. Ke3 *\n\n'
        fi
        if [ $((n % 2)) = 1 ]; then
            printf '[Event "P%d"]\n[FEN "4k3/8/8/8/8/8/8/R3K3 w - - 0 1"]\n\n{Puzzle %d [%%csl Rd5]} 1. Ra8+ Kd7 *\n\n' "$n" "$n"
        else
            printf '[Event "P%d"]\n[FEN "r3k3/8/8/8/8/8/8/4K3 b - - 0 1"]\n\n{Puzzle %d} 1... Ra1+ 2. Kd2 *\n\n' "$n" "$n"
        fi
    done
} > puzzles.pgn

set +e
"$DIAGRAM_BATCH" puzzles.pgn --layout 3x4 --numbers --side-to-move --solutions -o worksheet.pdf 2> errors.txt
status=$?
set -e
[ "$status" = 1 ] || fail "a skipped game must end with status 1, not $status"
grep -qx 'puzzles.pgn: game 3, move 3 (Ke3): .*' errors.txt || fail "the broken game is not named: $(cat errors.txt)"
[ "$(wc -l < errors.txt)" = 1 ] || fail "more than one message (no progress off a terminal): $(cat errors.txt)"

info=$(pdfinfo worksheet.pdf)
grep -q '^Pages: *3$' <<< "$info" || fail "not three pages: $info"
grep -q '^Page size: *595.276 x 841.89 pts (A4)' <<< "$info" || fail "not A4: $info"
[ "$(pdfimages -list worksheet.pdf | wc -l)" = 2 ] || fail "pictures inside the PDF: $(pdfimages -list worksheet.pdf)"

# The book is an input: its records give back the fourteen positions in order.
positions() { "$DIAGRAM_BATCH" -f epd -o - "$1" 2> /dev/null | cut -d' ' -f1-4 || true; }
[ "$(positions worksheet.pdf)" = "$(positions puzzles.pgn)" ] || fail "the book's records: $(positions worksheet.pdf)"
[ "$(positions worksheet.pdf | wc -l)" = 14 ] || fail "not fourteen records"

page1=$(pdftotext -f 1 -l 1 worksheet.pdf -)
for n in $(seq 1 12); do grep -qx "$n" <<< "$page1" || fail "page 1 lacks the number $n"; done
grep -q 'Puzzle 1$' <<< "$page1" || fail "page 1 lacks the first caption"
# The broken game took no number: the 12th diagram is puzzle 12.
grep -q 'Puzzle 12$' <<< "$page1" || fail "page 1 lacks puzzle 12"
grep -q 'Puzzle 13' <<< "$page1" && fail "puzzle 13 on page 1"
page2=$(pdftotext -f 2 -l 2 worksheet.pdf -)
grep -q 'Puzzle 14' <<< "$page2" || fail "page 2 lacks puzzle 14"
key=$(pdftotext -f 3 -l 3 worksheet.pdf -)
grep -q '^Solutions' <<< "$key" || fail "no answer key heading: $key"
grep -q '^1\. 1\. Ra8+ Kd7$' <<< "$key" || fail "the key lacks 1: $key"
grep -q '^14\. 1\.\.\. Ra1+ 2\. Kd2$' <<< "$key" || fail "the key lacks 14: $key"

# Page 1 at 72 dpi: cell 1's diagram, its square d5 marked with a heavy
# outline (black just inside its left edge), e5 beside it plain paper.
# A4 3 x 4: margin 42.52, cells 162.98 x 179.68 apart 14.17; the numbered
# diagram is 9s x 10s, s = 162.98 / 9, centred in its cell.
pdftoppm -r 72 -f 1 -l 1 -gray worksheet.pdf page
pixel() {  # x y: grey 0-255 of page-1.pgm
    python3 - "$1" "$2" <<'PY'
import sys
data = open("page-1.pgm", "rb").read()
parts = data.split(b"\n", 3)
w, h = map(int, parts[1].split())
x, y = int(float(sys.argv[1])), int(float(sys.argv[2]))
print(parts[3][y * w + x])
PY
}
read -r d5x e5x y < <(python3 -c "
m = 15 * 72 / 25.4; g = 5 * 72 / 25.4
cw = (595.2756 - 2 * m - 2 * g) / 3; ch = (841.8898 - 2 * m - 3 * g) / 4
s = min(cw / 9, ch / 10)
x0 = m + (cw - 9 * s) / 2; y0 = m + (ch - 10 * s) / 2 + s / 2
sq = lambda i: i * s - s / 2
print(x0 + sq(4) + 0.04 * s, x0 + sq(6) + 0.04 * s, y0 + sq(4) + s / 2)")
[ "$(pixel "$d5x" "$y")" -lt 100 ] || fail "d5's mark is not drawn ($(pixel "$d5x" "$y"))"
[ "$(pixel "$e5x" "$y")" -gt 200 ] || fail "e5 is not plain paper ($(pixel "$e5x" "$y"))"

# --flip=auto: Black to move seen from Black's side. In the second diagram
# (Black to move) the black rook on a8 stands at the bottom right.
"$DIAGRAM_BATCH" puzzles.pgn --layout 1x1 --flip=auto -o flipped.pdf 2> /dev/null || [ $? = 1 ] || fail "flip run"
"$DIAGRAM_BATCH" puzzles.pgn --layout 1x1 -o plain.pdf 2> /dev/null || [ $? = 1 ] || fail "plain run"
[ "$(pdfinfo flipped.pdf | grep -c '^Pages: *14$')" = 1 ] || fail "1x1: not 14 pages"
pdftoppm -r 20 -f 2 -l 2 -gray flipped.pdf f
pdftoppm -r 20 -f 2 -l 2 -gray plain.pdf p
cmp -s f-02.pgm p-02.pgm && fail "the Black-to-move diagram is not flipped"
pdftoppm -r 20 -f 1 -l 1 -gray flipped.pdf f
pdftoppm -r 20 -f 1 -l 1 -gray plain.pdf p
cmp -s f-01.pgm p-01.pgm || fail "the White-to-move diagram is flipped"

# PNG pages, one file each, named as single diagrams are; the key as more pages.
"$DIAGRAM_BATCH" puzzles.pgn --layout 2x3 --paper letter --format png --dpi 50 --solutions -o pages/ 2> /dev/null ||
    [ $? = 1 ] || fail "png pages"
[ "$(ls pages)" = "$(printf '001.png\n002.png\n003.png\n004.png')" ] || fail "png pages: $(ls pages)"
python3 -c "
import struct, sys
d = open('pages/001.png', 'rb').read()
w, h = struct.unpack('>II', d[16:24])
sys.exit(0 if (w, h) == (425, 550) else 1)" || fail "a Letter page at 50 dpi is not 425 x 550"

# EPD with bm and pv: the key gives pv where there is one, else bm.
printf '%s\n' '4k3/8/8/8/8/8/8/R3K3 w - - bm Ra8+; c0 "First"; c1 "Rd5";' \
    '4k3/8/8/8/8/8/8/R3K3 w - - bm Ra7; pv Ra7 Kd8 Kd2; c0 "Second";' \
    '4k3/8/8/8/8/8/8/R3K3 w - - bm Ra8+; c0 "First";' > list.epd
"$DIAGRAM_BATCH" list.epd --layout 2x2 --solutions --numbers -o epd.pdf
key=$(pdftotext -f 2 -l 2 epd.pdf -)
grep -q '^1\. Ra8+$' <<< "$key" || fail "EPD bm: $key"
grep -q '^2\. Ra7 Kd8 Kd2$' <<< "$key" || fail "EPD pv: $key"

# Single diagrams take the same options: numbers, and the EPD's c1 mark.
"$DIAGRAM_BATCH" list.epd --numbers --format pdf -o single/
[ "$(pdftotext single/2.pdf - | grep -cx 2)" = 1 ] || fail "single diagram 2 lacks its number"
"$DIAGRAM_BATCH" list.epd --format png --dpi 64 -o marked/
"$DIAGRAM_BATCH" list.epd --format png --dpi 64 --flip -o flipped/
cmp -s marked/1.png flipped/1.png && fail "--flip changes nothing in a single diagram"
# Record 1 marks d5; record 3 is the same without the mark.
cmp -s marked/1.png marked/3.png && fail "the c1 mark is not drawn"

# --size on pages: the diagrams that wide, centred in their cells. A4 2 x 2:
# cell 1 spans x 42.52 to 290.5 (centre 166.5); at 5 cm the frame spans
# 141.7 points across the row through the board's middle.
"$DIAGRAM_BATCH" list.epd --layout 2x2 --size 5 -o sized.pdf
pdftoppm -r 72 -f 1 -l 1 -singlefile -gray sized.pdf sized
python3 - <<'PY' || fail "a 5 cm diagram is not 5 cm wide and centred in its cell"
data = open("sized.pgm", "rb").read().split(b"\n", 3)
width = int(data[1].split()[0])
row = data[3][228 * width:229 * width]
dark = [x for x in range(0, 300) if row[x] < 128]
left, right = dark[0], dark[-1]
print("sized: frame from", left, "to", right)
assert abs((right - left + 1) - 141.7) <= 2 and abs((left + right + 1) / 2 - 166.5) <= 2
PY
# A width the cells cannot hold is refused with the most they take.
set +e
"$DIAGRAM_BATCH" list.epd --layout 3x4 --size 10 -o x.pdf 2> err.txt; [ $? = 2 ] || fail "--size 10 on 3x4 accepted"
set -e
grep -q "does not fit the cells of 3x4 pages: at most 5.66 cm" err.txt || fail "$(cat err.txt)"

# Options that cannot apply are refused before anything is written.
set +e
"$DIAGRAM_BATCH" list.epd --layout 7x2 -o x.pdf 2> err.txt; [ $? = 2 ] || fail "7x2 accepted"
"$DIAGRAM_BATCH" list.epd --solutions -o out/ 2> err.txt; [ $? = 2 ] || fail "--solutions without pages accepted"
"$DIAGRAM_BATCH" list.epd --layout 2x2 --format png -o x.png 2> err.txt; [ $? = 2 ] || fail "png pages into one file accepted"
"$DIAGRAM_BATCH" list.epd --paper a3 -o out/ 2> err.txt; [ $? = 2 ] || fail "a3 accepted"
set -e
[ ! -e x.pdf ] && [ ! -e x.png ] || fail "a refused run wrote a file"
# An interrupt stops a long book: no book, no temporary file, ended by the signal.
mkdir stop && cd stop
for n in $(seq 1 20000); do echo "4k3/8/8/8/8/8/8/R3K3 w - - 0 1 Study $n"; done > long.fen
"$DIAGRAM_BATCH" long.fen --layout 3x4 --numbers -o long.pdf 2> err.txt &
pid=$!
# Once the book's temporary file is there, the book is being written.
for _ in $(seq 1 200); do [ "$(ls -A | wc -l)" -gt 2 ] && break; sleep 0.05; done
kill -TERM "$pid"
set +e
wait "$pid"
status=$?
set -e
[ "$status" = 143 ] || fail "an interrupted book ended with $status, not by its signal"
grep -q 'interrupted after [0-9]* of 20000 diagrams: the book is not written' err.txt || fail "$(cat err.txt)"
[ "$(ls -A)" = "$(printf 'err.txt\nlong.fen')" ] || fail "files left behind: $(ls -A)"
cd ..
echo PASS
