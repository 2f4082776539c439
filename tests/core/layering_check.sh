#!/usr/bin/env bash
# layering_check.sh BUILD-DIR SOURCE-DIR PROGRAM...
# The layers and the folders they live in, checked on the compiler's own
# record of every header each object file read (transitively):
#   core/                         includes nothing of ours but core/
#   input/                        core/ and itself
#   pictures/                     core/ and itself
#   raster/, render/              core/, pictures/ and itself
#   toolkit/                      core/, pictures/ and itself
# so nothing below the programs includes a program's folder, and nothing but
# the toolkit includes the toolkit. No layer but the toolkit includes a GTK
# or GDK header (GDK-Pixbuf is allowed). The listed programs need no window
# and must link no GTK or GDK library.
set -euo pipefail
build=$1; source_dir=$(cd "$2" && pwd); shift 2
status=0

declare -A allowed=(
    [chess_core]="core"
    [chess_input]="core input"
    [pictures]="core pictures"
    [chess_raster]="core pictures raster"
    [chess_render]="core pictures render"
    [toolkit]="core pictures toolkit"
)
declare -A folder=(
    [chess_core]=core [chess_input]=input [pictures]=pictures
    [chess_raster]=raster [chess_render]=render [toolkit]=toolkit
)

checked=0
for target in "${!allowed[@]}"; do
    dir="$build/${folder[$target]}/CMakeFiles/$target.dir"
    if [ ! -d "$dir" ]; then
        echo "FAIL: no objects of $target under $build"
        status=1
        continue
    fi
    while IFS= read -r -d '' depfile; do
        checked=$((checked + 1))
        object=${depfile#$build/}
        # Our own headers, as folders relative to the source tree.
        while read -r area; do
            case " ${allowed[$target]} " in
                *" $area "*) ;;
                *) echo "FAIL: $object ($target) includes $area/, a layer above it or a program"
                   status=1 ;;
            esac
        done < <(tr ' \\' '\n\n' <"$depfile" | grep "^$source_dir/" | sed "s|^$source_dir/||" |
                 sed -E ':a; s@(^|/)[^/.][^/]*/\.\./@\1@; ta' | grep / | cut -d/ -f1 | sort -u)
        if [ "$target" != toolkit ] && grep -qE '/gtk-2\.0/|/gtk/|/gdk/' "$depfile"; then
            echo "FAIL: $object includes a GTK or GDK header:"
            grep -oE '[^ ]*(/gtk-2\.0/|/gtk/|/gdk/)[^ ]*' "$depfile" | head -3
            status=1
        fi
    done < <(find "$dir" -name '*.o.d' -print0)
done
# The program that needs no window: its own objects include no GTK either.
if [ -d "$build/batch/CMakeFiles" ]; then
    while IFS= read -r -d '' depfile; do
        checked=$((checked + 1))
        if grep -qE '/gtk-2\.0/|/gtk/|/gdk/' "$depfile" || grep -q "$source_dir/toolkit/" "$depfile"; then
            echo "FAIL: ${depfile#$build/} includes the toolkit or a GTK or GDK header"
            status=1
        fi
    done < <(find "$build/batch/CMakeFiles" -name '*.o.d' -print0)
fi
if [ "$checked" -lt 20 ]; then
    echo "FAIL: only $checked dependency files found under $build: nothing was checked"
    exit 1
fi
echo "$checked object files keep to their layers"

for program in "$@"; do
    needed=$(readelf -d "$program" | grep NEEDED || true)
    if grep -qE 'libgtk|libgdk-x11|libgdk-' <<<"$needed"; then
        echo "FAIL: $(basename "$program") links GTK or GDK:"
        grep -E 'libgtk|libgdk' <<<"$needed"
        status=1
    else
        echo "$(basename "$program") links no GTK or GDK library"
    fi
done
exit $status
