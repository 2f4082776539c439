# diagram_batch's outputs that must not harm: an output that is one of the
# inputs (by another path, a hard link, a symbolic link, or a folder that
# holds them) refused before anything is written, in every output kind;
# outputs that can take no file named by their cause, never waited on; and
# the diagrams an earlier run left under the numbers of items now rejected.
set -euo pipefail
: "${DIAGRAM_BATCH:?}" "${PIECES:?}"
unset DISPLAY WAYLAND_DISPLAY
T=$(mktemp -d /tmp/diagram-batch-safe.XXXXXX)
trap 'umount "$T/small" 2>/dev/null || true; rm -rf "$T"' EXIT
cd "$T"

fail() {
    echo "FAIL: $*" >&2
    for f in "$T"/*.err; do [ -s "$f" ] && { echo "--- $f:" >&2; cat "$f" >&2; }; done
    exit 1
}
# run NAME STATUS ARG...: the program's status must be STATUS; its messages
# are kept in NAME.err. A run that waits on a FIFO is killed and fails;
# standard input is the script's, unless redirected.
run() {
    local name=$1 expected=$2 status=0
    shift 2
    timeout 60 "$DIAGRAM_BATCH" "$@" >"$name.out" 2>"$name.err" || status=$?
    [ "$status" = "$expected" ] || fail "$name: exit status $status, expected $expected ($*)"
}
said() {  # NAME TEXT: the messages of run NAME hold this line
    grep -qxF -- "$2" "$1.err" || fail "$1: not said: $2"
}
# A picture as diagram_editor saves it: the piece set's drawing with the
# diagram record in a JPEG comment.
saved_picture() {  # FEN CAPTION FILE
    printf '%s %s\n' "$1" "$2" >one.fen
    "$DIAGRAM_BATCH" --pieces "$PIECES" -o drawn.jpg one.fen
    convert drawn.jpg -set comment "$(printf 'chess-diagram/1\nfen=%s\ncaption=%s\nsquare=50' "$1" "$2")" "$3"
}

# ---- Outputs that are inputs ------------------------------------------------
mkdir SAVE
saved_picture "4k3/8/8/8/8/8/8/4K2R w K - 0 1" "Первая" SAVE/1.jpg
saved_picture "4k3/8/8/8/8/8/8/R3K3 w Q - 0 1" "Вторая" SAVE/2.jpg
printf '4k3/8/8/8/8/8/8/4K2R w K - 0 1 list\n' >list.fen
cp -a SAVE before
cp SAVE/1.jpg mine.jpg
ln SAVE/2.jpg hard.jpg
ln -s SAVE/1.jpg link.jpg

run same 2 -o mine.jpg mine.jpg
said same "diagram_batch: the output mine.jpg is the input mine.jpg: write to another file"
run other-path 2 -o ./SAVE/../SAVE/1.jpg SAVE/1.jpg
run hard-link 2 -o hard.jpg SAVE/2.jpg
run symbolic-link 2 -o link.jpg SAVE/1.jpg
run folder-input 2 -o SAVE/1.jpg SAVE/
run same-folder 2 -o SAVE/ SAVE/
said same-folder "diagram_batch: the output folder SAVE/ is the input SAVE/: name another folder"
run folder-holds 2 -o ./SAVE list.fen SAVE/2.jpg
said folder-holds "diagram_batch: the output folder ./SAVE/ holds the input SAVE/2.jpg, which diagrams written there may replace: name another folder"
# A link in the folder would send the diagram to the file it names.
run link-in-folder 2 -o . --format jpeg list.fen link.jpg
for kind in svg pdf png; do
    cp SAVE/1.jpg "mine.$kind"
    run "same-$kind" 2 -o "mine.$kind" "mine.$kind"
    run "folder-$kind" 2 --format "$kind" -o SAVE/ SAVE/
done
run pages 2 --layout 2x2 --format png -o SAVE/ SAVE/
run book 2 --layout 2x2 -o mine.pdf mine.pdf
run list 2 --format epd -o list.fen list.fen
diff -r before SAVE >&2 || fail "a refused run changed the saved pictures"
cmp -s mine.jpg SAVE/1.jpg || fail "a refused run changed mine.jpg"
# A list in the output folder is never replaced by a diagram; standard
# input never collides.
mkdir lists && cp list.fen lists/
run list-in-folder 0 -o lists/ lists/list.fen
[ -f lists/1.jpg ] || fail "no diagram beside the list"
run standard-input 0 -o SAVE/1.png - <list.fen

# ---- Outputs that take no file ----------------------------------------------
mkfifo fifo.svg
run fifo 2 -o fifo.svg list.fen
said fifo "diagram_batch: fifo.svg: is a FIFO, not a file"
run device 2 --format svg -o /dev/null list.fen
said device "diagram_batch: /dev/null: is a device, not a folder"
touch plain
run file-as-folder 2 -o plain/ list.fen
said file-as-folder "diagram_batch: plain: is a file, not a folder"
# In a folder, each file on its own: the others are written.
printf '4k3/8/8/8/8/8/8/4K2R w K - 0 1\n4k3/8/8/8/8/8/8/R3K3 w Q - 0 1\n' >two.fen
mkdir -p in-folder/2.png && mkfifo in-folder/1.svg
run fifo-in-folder 1 --format svg -o in-folder/ two.fen
said fifo-in-folder "diagram_batch: in-folder/1.svg: is a FIFO, not a file"
[ -s in-folder/2.svg ] || fail "the other diagram was not written"
run folder-in-folder 1 --format png -o in-folder/ two.fen
said folder-in-folder "diagram_batch: in-folder/2.png: is a folder, not a file"
# Pages and books stop before their first page.
mkdir -p pages && mkfifo pages/001.png
run fifo-page 2 --layout 2x2 --format png -o pages/ two.fen
said fifo-page "diagram_batch: pages/001.png: is a FIFO, not a file"
mkdir -p books/book.pdf
run folder-book 2 --layout 2x2 --format pdf -o books/ two.fen
said folder-book "diagram_batch: books/book.pdf: is a folder, not a file"
# A full disk, where a small one can be mounted.
mkdir small
if mount -t tmpfs -o size=48k tmpfs small 2>/dev/null; then
    head -c 40000 /dev/zero >small/filler
    run full-disk 2 -o small/one.svg list.fen
    said full-disk "diagram_batch: cannot write small/one.svg: No space left on device"
    [ ! -e small/one.svg ] || fail "a full disk left a part of small/one.svg"
    umount small
    mount -t tmpfs -o ro tmpfs small
    run read-only 2 -o small/ list.fen
    said read-only "diagram_batch: cannot write small/1.jpg: Read-only file system"
    umount small
fi

# ---- Diagrams left by an earlier run ----------------------------------------
printf '%s\n' '4k3/8/8/8/8/8/8/4K2R w K - 0 1 a' '4k3/8/8/8/8/8/8/R3K3 w Q - 0 1 b' \
    '4k3/8/8/8/8/8/8/2R1K3 w - - 0 1 c' >three.fen
run first 0 -o again/ three.fen
# The earlier diagram of line 2 as a picture that carries its record.
saved_picture "4k3/8/8/8/8/8/8/R3K3 w Q - 0 1" "b" again/2.jpg
sed -i '2s/R3K3/R3X3/' three.fen
run second 1 -o again/ three.fen
[ "$(cd again && ls | tr '\n' ' ')" = "1.jpg 3.jpg " ] || fail "the earlier diagram 2 was kept: $(ls again)"
# A file of the user's under that name is kept, and said so.
echo "notes" >again/2.jpg
run third 1 -o again/ three.fen
said third "diagram_batch: warning: again/2.jpg is named for the rejected item 2 but is no diagram of ours: kept"
[ "$(cat again/2.jpg)" = notes ] || fail "the user's again/2.jpg was changed"
echo "safe outputs: all checks passed"
