#!/usr/bin/env bash
# Takes docs/progress-dialog.png for the README: the progress dialog in the
# middle of a real transfer to the phone simulator, under a virtual X server.
# Needs xvfb-run, xdotool and ImageMagick's import.
set -euo pipefail

build="${1:-build}"
out="${2:-docs/progress-dialog.png}"
tool="$build/app/OrvexToolKit"
sim="$build/tools/phone-sim/phone-sim"
address=127.0.0.59
# 512 blocks answered 40 ms apart: about 20 s of transfer to catch.
ack_delay_ms=40
shot_after_s=6

for cmd in xvfb-run xdotool import; do
    command -v "$cmd" >/dev/null || { echo "screenshot: needs $cmd (apt-get install xvfb xdotool imagemagick)" >&2; exit 1; }
done
if [ -z "${ORVEX_SCREENSHOT_XVFB:-}" ]; then
    exec env ORVEX_SCREENSHOT_XVFB=1 xvfb-run -a -s "-screen 0 480x480x24" "$0" "$@"
fi

work="$(mktemp -d "${TMPDIR:-/tmp}/orvex-shot-XXXXXX")"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT

head -c 65536 /dev/urandom >"$work/demo.bin"
"$sim" --address "$address" --ack-delay "$ack_delay_ms" >"$work/sim.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do
    grep -q '^phone-sim: listening on' "$work/sim.log" && break
    sleep 0.1
done
grep -q '^phone-sim: listening on' "$work/sim.log" || { cat "$work/sim.log" >&2; exit 1; }

IFS=. read -r a b c d <<<"$address"
mkdir -p "$work/config/Quillmark Communications"
cat >"$work/config/Quillmark Communications/OrvexToolKit.conf" <<CONF
[Peer]
IPAddress=$(((a << 24) | (b << 16) | (c << 8) | d))

[ProgramUpdate]
SrcName=$work/demo.bin
CONF

XDG_CONFIG_HOME="$work/config" "$tool" &
pids+=($!)
main=$(xdotool search --sync --onlyvisible --name '^Orvex Tool Kit$' | head -1)
sleep 1
# "Update Program" has the focus when the dialog opens; the file dialog then
# offers the sample file, which Return accepts.
xdotool windowactivate --sync "$main" 2>/dev/null || xdotool windowfocus --sync "$main"
xdotool key --window "$main" space
sleep 2
xdotool key Return
sleep "$shot_after_s"
mkdir -p "$(dirname "$out")"
import -window root -trim +repage "$out"
echo "screenshot: $out"
