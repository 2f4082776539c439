#!/usr/bin/env bash
# Installs what the build and the tests need, builds the suite, and runs every
# test under a virtual X display: once as built, once with AddressSanitizer
# and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/packages.sh
install_packages "${TEST_PACKAGES[@]}"
ensure_locales en_US ru_RU

jobs=$(nproc)
run_suite() {  # run_suite BUILD-DIR CTEST-ARGS... (cmake options in CMAKE_OPTIONS)
    local dir=$1; shift
    cmake -S . -B "$dir" "${CMAKE_OPTIONS[@]}"
    cmake --build "$dir" -j "$jobs"
    # -noreset: by default the server resets whenever its last client
    # leaves, and drops every client still connecting at that moment. A
    # program starting just as a polling xdotool, or the previous test's last
    # program, disconnects then fails to open the display and exits 1.
    xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp -noreset" \
        ctest --test-dir "$dir" --output-on-failure --no-tests=error "$@"
}

CMAKE_OPTIONS=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
run_suite build

if [ "${SKIP_SANITIZERS:-0}" != 1 ]; then
    # GTK and fontconfig keep caches for the life of the process; leaks are
    # checked by the memory test of the whole programs instead.
    export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    CMAKE_OPTIONS=(-DCMAKE_BUILD_TYPE=Debug -DDIAGRAMS_SANITIZE=ON -DDIAGRAMS_BENCH=OFF)
    run_suite build-sanitize -LE 'e2e|slow'
fi
