#!/usr/bin/env bash
# Takes docs/main-dialog.png: starts a virtual X server on a free display, runs
# the tool with a throw-away profile, captures the screen and crops it to the
# main dialog. Usage: scripts/screenshot.sh [path/to/OrvexToolKit]
set -euo pipefail
cd "$(dirname "$0")/.."
tool="${1:-build/app/OrvexToolKit}"
out="docs/main-dialog.png"
[ -x "$tool" ] || { echo "No $tool: build first (make build)." >&2; exit 1; }

display=99
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do
    display=$((display + 1))
done

work="$(mktemp -d)"
xvfb_pid=""
tool_pid=""
cleanup() {
    [ -n "$tool_pid" ] && kill "$tool_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT


Xvfb ":$display" -screen 0 800x600x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do
    DISPLAY=":$display" xdpyinfo >/dev/null 2>&1 && break
    sleep 0.1
done

# The tool reads no command line: the profile goes to a folder of its own.
DISPLAY=":$display" XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=xcb "$tool" >"$work/tool.log" 2>&1 &
tool_pid=$!
sleep 3

DISPLAY=":$display" import -window root "$work/screen.png"
# Xvfb's root is black; trimming it leaves the dialog.
convert "$work/screen.png" -bordercolor black -border 1 -trim +repage "$out"
echo "Wrote $out ($(identify -format '%wx%h' "$out"))"
