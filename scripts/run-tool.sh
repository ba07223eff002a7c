#!/usr/bin/env bash
# Starts the tool, or says in one line how to when there is no display.
set -euo pipefail
tool="$1"
shift
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "No display: run the tool under a virtual X server with 'xvfb-run -a $tool', or from a desktop session." >&2
    exit 1
fi
exec "$tool" "$@"
