#!/usr/bin/env bash
# layering_check.sh BUILD-DIR PROGRAM...
# Fails when an object of a display-free library includes a GTK or GDK
# header (GDK-Pixbuf is allowed), or when a listed program links GTK or GDK.
set -euo pipefail
build=$1; shift
status=0

display_free=(core/CMakeFiles/chess_core.dir toolkit/CMakeFiles/pictures.dir render/CMakeFiles)
[ -d "$build/batch/CMakeFiles" ] && display_free+=(batch/CMakeFiles)
checked=0
for dir in "${display_free[@]}"; do
    while IFS= read -r -d '' depfile; do
        checked=$((checked + 1))
        if grep -qE '/gtk-2\.0/|/gtk/|/gdk/' "$depfile"; then
            echo "FAIL: ${depfile#$build/} includes a GTK or GDK header:"
            grep -oE '[^ ]*(/gtk-2\.0/|/gtk/|/gdk/)[^ ]*' "$depfile" | head -3
            status=1
        fi
    done < <(find "$build/$dir" -name '*.o.d' -print0)
done
if [ "$checked" -lt 5 ]; then
    echo "FAIL: only $checked dependency files found under $build: nothing was checked"
    exit 1
fi
echo "$checked object files include no GTK or GDK header"

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
