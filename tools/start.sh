#!/usr/bin/env bash
# Starts the suite on a desktop: installs the build packages that are missing,
# builds, prepares the working folder work/ (DATA/ with a piece set, SAVE/,
# TEMP/) and runs the board editor there, or with "sheet12" or "sheet6" the
# sheet composer of that grid in the same folder, so that it finds the
# editor's saved diagrams in SAVE/.
#
#   bash tools/start.sh [sheet12|sheet6]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

usage() {
    echo "usage: bash tools/start.sh [sheet12|sheet6]" >&2
    exit 2
}
[ $# -le 1 ] || usage
case "${1:-}" in
    "") program=diagram_editor ;;
    sheet12 | sheet6) program=diagram_$1 ;;
    *) usage ;;
esac

# Checked first: building is no use when no window can be shown.
if [ -z "${DISPLAY:-}" ]; then
    echo "start.sh: no X display (DISPLAY is not set): start it from a desktop session" >&2
    exit 1
fi

source tools/packages.sh
install_packages "${BUILD_PACKAGES[@]}"

# A build of the programs alone, apart from the test builds.
build=$root/build-run
cmake -S . -B "$build" -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDIAGRAMS_TESTS=OFF -DDIAGRAMS_BENCH=OFF \
    -DCMAKE_RUNTIME_OUTPUT_DIRECTORY="$build/bin" >/dev/null
known=$(cmake --build "$build" --target help)
for target in make_piece_set "$program"; do
    if ! grep -qx -- "\.\.\. $target" <<<"$known"; then
        echo "start.sh: $target is not part of this source tree yet" >&2
        exit 1
    fi
done
cmake --build "$build" -j "$(nproc)" --target make_piece_set "$program"

# The working folder. A complete piece set already there is kept: it may be
# one the user put in.
work=$root/work
mkdir -p "$work/DATA" "$work/SAVE" "$work/TEMP"
for n in $(seq 1 32); do
    if [ ! -s "$work/DATA/$n.jpg" ]; then
        "$build/bin/make_piece_set" "$work/DATA/"
        break
    fi
done

cd "$work"
exec "$build/bin/$program"
