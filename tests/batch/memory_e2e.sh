# diagram_batch's peak memory does not grow with its input: books of
# 200,000 FEN lines and of 100,000 games, answer keys included, stay within
# a generous bound (the precise figures are the benchmark's).
set -euo pipefail
: "${DIAGRAM_BATCH:?}"
work=$(mktemp -d /tmp/diagrams-memory.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
cd "$work"
bound_kb=$((120 * 1024))

awk 'BEGIN { for (n = 1; n <= 200000; n++) print "4k3/8/8/8/8/8/8/R3K3 w - - bm Ra8+; c0 \"Study " n "\";" }' \
    > lines.epd
awk 'BEGIN { for (n = 1; n <= 100000; n++)
    printf "[Event \"E%d\"]\n[White \"W%d\"]\n[Black \"B\"]\n\n1. e4 e5 2. Nf3 Nc6 3. Bb5 a6 4. Ba4 Nf6 5. O-O Be7 *\n\n", n, n }' \
    > games.pgn
for input in lines.epd games.pgn; do
    /usr/bin/time -f %M -o peak.txt "$DIAGRAM_BATCH" --layout 3x4 --numbers --solutions -o book.pdf - < "$input"
    peak=$(tail -1 peak.txt)
    [ "$peak" -le "$bound_kb" ] || fail "$input: a peak of $peak KB"
    [ -s book.pdf ] || fail "$input: no book"
    rm book.pdf
done
echo PASS
