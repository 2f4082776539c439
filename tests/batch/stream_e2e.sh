# diagram_batch on real files' quirks and on streams: every corpus file's
# exit status, messages and the diagram drawn for every item (each compared
# pixel for pixel as PNG with the same position and caption drawn from a
# plain list: the files' records keep each item's own FEN fields); then a pipe, process substitution and a slowly fed FIFO, each read
# to its last item.
set -euo pipefail
: "${DIAGRAM_BATCH:?}" "${CORPUS:?}"
work=$(mktemp -d /tmp/diagrams-stream.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
cd "$work"

# Runs diagram_batch; its status in $status, its messages in err.txt.
run() {
    set +e
    "$DIAGRAM_BATCH" --format png --dpi 72 "$@" 2> err.txt
    status=$?
    set -e
}
# The messages, exactly.
messages() {
    [ "$(cat err.txt)" = "$1" ] || fail "messages: $(cat err.txt); wanted: $1"
}
# A drawn diagram against the same position and caption from a plain list.
drawn() {
    printf '%s\n' "$2" > ref.fen
    "$DIAGRAM_BATCH" --format png --dpi 72 -o ref.png ref.fen
    compare -metric AE "$1" ref.png null: 2> /dev/null || fail "$1 is not the diagram of: $2"
}
files() {
    [ "$(ls "$1" | tr '\n' ' ')" = "$2" ] || fail "$1 holds: $(ls "$1" | tr '\n' ' '); wanted: $2"
}

# PGN: CRLF and LF mixed, Latin-1, quotes inside a tag value, a tag over two
# lines, null moves, long algebraic, e.p., o-o, and a last game cut off
# inside a comment: drawn, and told (a puzzle shows its start, a played
# game the position after its main line) (no word of Latin-1 off a terminal).
run "$CORPUS/collection.pgn" -o games/
[ "$status" = 1 ] || fail "collection.pgn: status $status"
messages "$CORPUS/collection.pgn: game 5: the file ends inside the comment from line 33; drawn as far as it goes"
files games "1.png 2.png 3.png 4.png 5.png "
drawn games/1.png '7k/8/6K1/8/8/8/8/R7 w - - 0 1 Mate in 1'
drawn games/2.png '4k3/8/4K3/8/8/8/8/7Q w - - 0 1 “Café” study'
drawn games/3.png 'rnbqkbnr/ppp1pppp/8/3p4/3PP3/5N2/PPP2PPP/RNBQKB1R w KQkq - 0 4 White – Black'
drawn games/4.png 'rnbq1rk1/ppp2ppp/3bpn2/8/2B5/5N2/PPPP1PPP/RNBQ1RK1 w - - 0 7 A – B'
drawn games/5.png '8/8/8/4k3/8/8/8/4K2R w K - 0 1 Unfinished study 1. O-O'

# Lists: lone CRs for line ends; a byte-order mark with CRLF; a NUL byte.
run "$CORPUS/cr_only.fen" -o cr/
[ "$status" = 0 ] || fail "cr_only.fen: status $status"
messages ""
files cr "1.png 2.png 3.png "
drawn cr/1.png '8/8/8/4k3/8/8/8/4K3 w - - 0 1 First'
drawn cr/2.png '7k/8/6K1/8/8/8/8/R7 w - - 0 1 Second'
drawn cr/3.png '4k3/8/8/8/8/8/8/R3K2R w KQ - 0 1 Third'
run "$CORPUS/bom_crlf.fen" -o bom/
[ "$status" = 0 ] || fail "bom_crlf.fen: status $status"
messages ""
files bom "1.png 2.png "
drawn bom/1.png '8/8/8/4k3/8/8/8/4K3 w - - 0 1 First'
drawn bom/2.png '4k3/8/8/8/8/8/8/4K2R w K - 0 1'
run "$CORPUS/nul.epd" -o nul/
[ "$status" = 1 ] || fail "nul.epd: status $status"
messages "$CORPUS/nul.epd:2:10: a NUL byte"
files nul "1.png 3.png "
drawn nul/1.png '4k3/8/8/8/8/8/8/4K2R w K - 0 1 First'
drawn nul/3.png '4k3/8/8/8/8/8/8/R3K3 w Q - 0 1 Third'

# Streams: every item from the first byte to the last.
for n in $(seq 1 150); do echo "4k3/8/8/8/8/8/8/R3K3 w - - 0 1 Study $n"; done > a.fen
for n in $(seq 151 300); do echo "8/8/8/4k3/8/8/8/4K3 w - - 0 1 Study $n"; done > b.fen
[ "$(cat a.fen b.fen | wc -c)" -gt 4096 ] || fail "the lists are too short to need more than one read"
# Standard input a pipe (run is a function: no pipeline, which would
# keep its status in a subshell).
run -o piped/ - < <(cat a.fen b.fen)
[ "$status" = 0 ] || fail "a pipe: status $status: $(cat err.txt)"
[ "$(ls piped | wc -l)" = 300 ] || fail "a pipe gave $(ls piped | wc -l) diagrams"
drawn piped/001.png '4k3/8/8/8/8/8/8/R3K3 w - - 0 1 Study 1'
drawn piped/300.png '8/8/8/4k3/8/8/8/4K3 w - - 0 1 Study 300'

run -o substituted/ <(cat a.fen b.fen)
[ "$status" = 0 ] || fail "process substitution: status $status: $(cat err.txt)"
[ "$(ls substituted | wc -l)" = 300 ] || fail "process substitution gave $(ls substituted | wc -l) diagrams"
drawn substituted/001.png '4k3/8/8/8/8/8/8/R3K3 w - - 0 1 Study 1'
drawn substituted/300.png '8/8/8/4k3/8/8/8/4K3 w - - 0 1 Study 300'

# A FIFO fed slowly, PGN told by its bytes, as a PDF book drawn as it comes.
mkfifo games.fifo
(
    for n in 1 2 3; do
        printf '[Event "E%d"]\n[White "W%d"]\n[Black "B%d"]\n\n1. e4 e5 *\n\n' "$n" "$n" "$n"
        sleep 0.3
    done
) > games.fifo &
set +e
"$DIAGRAM_BATCH" --layout 3x4 --numbers -o fifo.pdf games.fifo 2> err.txt
status=$?
set -e
wait
[ "$status" = 0 ] || fail "a FIFO: status $status: $(cat err.txt)"
text=$(pdftotext fifo.pdf - | tr -s ' \n' ' ')
for n in 1 2 3; do
    case "$text" in *"W$n – B$n"*) ;; *) fail "the FIFO's game $n is not in the book: $text" ;; esac
done

# A pipe into a book of pages with the answer key: the count comes first,
# from a copy of what was read.
run --layout 6x8 -o pages/ - < <(cat a.fen b.fen)
[ "$status" = 0 ] || fail "pages from a pipe: status $status: $(cat err.txt)"
files pages "001.png 002.png 003.png 004.png 005.png 006.png 007.png "
# An interrupt reaches a book waiting on a stream that goes quiet: no book,
# no temporary file, ended by the signal, the writer still writing.
mkdir quiet && cd quiet
mkfifo quiet.fifo
( echo "8/8/8/4k3/8/8/8/4K3 w - - 0 1 First"; exec sleep 60 ) > quiet.fifo 2> /dev/null &
writer=$!
"$DIAGRAM_BATCH" --layout 3x4 -o quiet.pdf quiet.fifo 2> err.txt &
pid=$!
for _ in $(seq 1 200); do [ "$(ls -A | wc -l)" -gt 2 ] && break; sleep 0.05; done
kill -TERM "$pid"
set +e
wait "$pid"
status=$?
set -e
kill -0 "$writer" 2> /dev/null || fail "the run waited for the stream's end"
kill "$writer" 2> /dev/null || true
[ "$status" = 143 ] || fail "an interrupted book ended with $status, not by its signal"
grep -q 'interrupted after 1 diagrams: the book is not written' err.txt || fail "$(cat err.txt)"
[ "$(ls -A)" = "$(printf 'err.txt\nquiet.fifo')" ] || fail "files left behind: $(ls -A)"
cd ..
echo PASS
