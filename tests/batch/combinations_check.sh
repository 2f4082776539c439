# diagram_batch with its options two at a time, against every kind of input
# and in every format: each run must end with a status of its own (0, 1 or
# 2), never by a signal or a sanitizer's report, nor with a worker lost; a
# run that says it wrote something has written it, one that wrote nothing
# says why. Fast enough for the sanitizer suite, where crashes show.
set -uo pipefail
: "${DIAGRAM_BATCH:?}" "${PIECES:?}"
work=$(mktemp -d /tmp/diagrams-combinations.XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work"
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

printf '%s\n' '8/8/8/4k3/8/8/8/4K3 w - - 0 1 Ничья' '4k3/8/8/8/8/8/8/R3K3 b Q - 0 1 Gap' 'not a position' >list.fen
printf '%s\n' '4k3/8/8/8/8/8/8/4K2R w K - c0 "Marked"; c1 "Rd4,Ge5 Be2e4"; bm O-O;' \
    '4k3/8/8/8/8/8/8/R3K3 w Q - c1 "[%csl Ya1][%cal Ya1a8]"; pv Ra8+;' >marks.epd
printf '%s\n' '[White "A"]' '[Black "B"]' '[FEN "4k3/8/8/8/8/8/8/R3K3 w - - 0 1"]' '' \
    '{Mate [%csl Rd5][%cal Ga1a8]} 1. Ra8+ Kd7 *' '' '[FEN "r3k3/8/8/8/8/8/8/4K3 b - - 0 1"]' '' '1... Ra1+ *' >puzzles.pgn
printf '%s\n' '[White "Anna"]' '[Black "Boris"]' '' '1. e4 e5 2. Nf3 Nc6 1-0' '' '1. e4 e5 2. Ke3 *' >games.pgn
# A diagram as the editor saves it: any picture with the editor's record.
convert -size 90x95 xc:white -set comment "$(printf 'chess-diagram/1\nfen=4k3/8/8/8/8/8/8/4K2R w - - 0 1\nmarks=x:b8;o:h7\ncaption=Мат в 2 хода\nsquare=10')" saved.jpg
inputs=(list.fen marks.epd puzzles.pgn games.pgn saved.jpg)
# Chess problems with fairy and neutral men, twins (one that cannot be made)
# and a refused problem, in the solver's text format and as YAML entries.
printf '%s\n' 'BeginProblem' 'Author A' 'Stipulation h#2' 'Pieces White Kb1 Gh8 Black Ke4 Nf6 Neutral Rd8' \
    'Twin Move h8 h7' 'Twin Remove a1' 'NextProblem' 'Pieces White Ki9' 'EndProblem' '1.Nf6-d5 Gh8-c3' >problems.pop
printf '%s\n' '- stipulation: "#2"' '  algebraic: {white: [Kb1, Nc2], black: [Ke4], neutral: [Pd4]}' \
    '  twins: {b: Rotate 90}' '- algebraic: {white: [Kz1]}' >problems.yaml
inputs+=(problems.pop problems.yaml)
formats=(jpeg png svg pdf fen epd)
options=("--pieces=$PIECES" "--layout=2x2" "--numbers" "--coordinates" "--side-to-move" "--flip" "--flip=auto"
         "--solutions" "--caption={White} – {Black} {comment}" "--size=3" "--style=problem")

runs=0
check() {  # check FORMAT INPUT OPTION...
    local format=$1 input=$2
    shift 2
    rm -rf out err.txt
    "$DIAGRAM_BATCH" -j 1 --format "$format" -o out/ "$@" "$input" >/dev/null 2>err.txt </dev/null
    local status=$?
    runs=$((runs + 1))
    local what="$format $input $*"
    if [ "$status" -gt 2 ]; then
        fail "$what: status $status: $(head -3 err.txt)"
    elif grep -qE 'AddressSanitizer|runtime error|not written|signal' err.txt; then
        fail "$what: $(grep -m1 -E 'AddressSanitizer|runtime error|not written|signal' err.txt)"
    elif [ "$status" -lt 2 ] && [ -z "$(ls -A out 2>/dev/null)" ]; then
        fail "$what: status $status but nothing written"
    elif [ "$status" = 2 ] && [ ! -s err.txt ]; then
        fail "$what: nothing written and nothing said"
    fi
}

# Every pair of options (and each alone) meets every input, in a format
# that turns with each run; every option meets every format on marked input.
n=0
for ((a = 0; a < ${#options[@]}; ++a)); do
    for ((b = a; b < ${#options[@]}; ++b)); do
        pair=("${options[a]}")
        [ "$b" != "$a" ] && pair+=("${options[b]}")
        for input in "${inputs[@]}"; do
            check "${formats[n % ${#formats[@]}]}" "$input" "${pair[@]}"
            n=$((n + 1))
        done
    done
    for format in "${formats[@]}"; do check "$format" marks.epd "${options[a]}"; done
done
echo "$runs runs, $failures failed"
[ "$failures" = 0 ]
