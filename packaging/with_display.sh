#!/bin/sh
# with_display.sh COMMAND [ARG...]: runs a command that needs an X display,
# under a virtual one when the build has none (a build on a server, in CI).
set -eu
if [ -n "${DISPLAY:-}" ]; then
    exec "$@"
fi
if command -v xvfb-run >/dev/null 2>&1; then
    exec xvfb-run -a -s "-screen 0 640x480x24 -nolisten tcp" "$@"
fi
echo "with_display.sh: $1 needs an X display: set DISPLAY or install xvfb" >&2
exit 1
