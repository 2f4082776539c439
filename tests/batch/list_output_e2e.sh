# diagram_batch writing positions out as lists (--format fen, --format epd)
# and making captions from tags (--caption): a PGN file becomes a list that
# reads back as the same positions, captions, marks and solutions.
set -euo pipefail
: "${DIAGRAM_BATCH:?}"
work=$(mktemp -d /tmp/diagrams-lists.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
cd "$work"

cat > games.pgn <<'PGN'
[Event "Club"]
[Site "Riga"]
[Date "1959.??.??"]
[White "Tal"]
[Black "?"]
[FEN "4k3/8/8/8/8/8/8/R3K3 w - - 0 1"]

{Mate in 2 [%csl Rd5][%cal Ga1a8]} 1. Ra7 Kf8 2. Ra8+ *

[Event "Match"]
[Site "?"]
[Date "????.??.??"]
[White "Anna"]
[Black "Boris"]

1. e4 e5 2. Nf3 Nc6 1-0
PGN

# EPD: marks as c1, the solution's moves as pv, the caption as c0.
"$DIAGRAM_BATCH" --format epd -o list.epd games.pgn
[ "$(wc -l < list.epd)" = 2 ] || fail "not two records: $(cat list.epd)"
grep -qx '4k3/8/8/8/8/8/8/R3K3 w - - c0 "Mate in 2"; c1 "\[%csl Rd5\]\[%cal Ga1a8\]"; pv Ra7 Kf8 Ra8+;' list.epd ||
    fail "the puzzle's record: $(head -1 list.epd)"
grep -qx 'r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - hmvc 2; fmvn 3; c0 "Anna – Boris"; pv e4 e5 Nf3 Nc6;' list.epd ||
    fail "the game's record: $(tail -1 list.epd)"

# Read back, the list gives what the games gave: as FEN lines, and as a book.
diff <("$DIAGRAM_BATCH" -f fen -o - games.pgn) <("$DIAGRAM_BATCH" -f fen -o - list.epd) ||
    fail "the list does not read back as the games"
"$DIAGRAM_BATCH" --layout 2x2 --numbers --solutions -o from-pgn.pdf games.pgn
"$DIAGRAM_BATCH" --layout 2x2 --numbers --solutions -o from-epd.pdf list.epd
# The key of the list gives the moves without their numbers, as EPD has them.
diff <(pdftotext -f 1 -l 1 from-pgn.pdf -) <(pdftotext -f 1 -l 1 from-epd.pdf -) || fail "the diagram pages differ"
pdftotext -f 2 -l 2 from-epd.pdf - | grep -qx '1\. Ra7 Kf8 Ra8+' || fail "the key: $(pdftotext from-epd.pdf -)"
[ "$(pdfimages -list from-epd.pdf | wc -l)" = 2 ] || fail "pictures inside the book"

# FEN lines, to a file named for its format; marks have no place there.
"$DIAGRAM_BATCH" -o list.fen games.pgn
grep -qx '4k3/8/8/8/8/8/8/R3K3 w - - 0 1 Mate in 2' list.fen || fail "the FEN line: $(cat list.fen)"

# Captions from tags: a missing or unknown one leaves its part out.
captions=$("$DIAGRAM_BATCH" -f fen -o - --caption '{White} – {Black}, {Site} {Date:year}' games.pgn | cut -d' ' -f7-)
[ "$captions" = "$(printf 'Tal, Riga 1959\nAnna – Boris')" ] || fail "captions from tags: $captions"
captions=$("$DIAGRAM_BATCH" -f fen -o - --caption '{Event}: {comment}' games.pgn | cut -d' ' -f7-)
[ "$captions" = "$(printf 'Club: Mate in 2\nMatch')" ] || fail "captions with the comment: $captions"

# A problem's fairy and neutral men keep their looks in both lists, and each
# list reads back as the other (CRLF, as a composer's file may have).
printf 'BeginProblem\r\nStipulation h#2\r\nPieces White Kb1 Gh8 Black Ke4 Nf6 Neutral Rd8\r\nEndProblem\r\n' > problem.pop
"$DIAGRAM_BATCH" -f epd -o problem.epd problem.pop
grep -qx '3R3Q/8/5n2/8/4k3/8/8/1K6 b - - c0 "h#2"; looks "f6:2,d8:n,h8:2";' problem.epd ||
    fail "the problem's record: $(cat problem.epd)"
"$DIAGRAM_BATCH" -f fen -o problem.fen problem.pop
[ "$(cat problem.fen)" = "$(printf '#looks f6:2,d8:n,h8:2\n3R3Q/8/5n2/8/4k3/8/8/1K6 b - - 0 1 h#2')" ] ||
    fail "the problem's FEN line: $(cat problem.fen)"
diff problem.epd <("$DIAGRAM_BATCH" -f epd -o - problem.fen) || fail "the FEN line does not read back"
diff problem.fen <("$DIAGRAM_BATCH" -f fen -o - problem.epd) || fail "the EPD record does not read back"

# Refusals: nothing written, the input kept.
cp list.fen before.fen
set +e
"$DIAGRAM_BATCH" -o list.fen list.fen 2> errors.txt; status=$?
set -e
[ "$status" = 2 ] || fail "writing over the input must end with status 2, not $status"
grep -q 'is the input' errors.txt || fail "no word of the output being the input: $(cat errors.txt)"
cmp -s list.fen before.fen || fail "the input was changed"
for refused in "--layout 2x2" "--numbers" "--solutions" "--size 4" "--caption {White"; do
    set +e
    "$DIAGRAM_BATCH" -f epd -o x.epd $refused games.pgn 2> errors.txt; status=$?
    set -e
    [ "$status" = 2 ] || fail "$refused with a list: status $status"
    [ ! -e x.epd ] || fail "$refused with a list wrote a file"
done
echo "list output checked"
