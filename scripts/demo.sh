#!/usr/bin/env bash
# Tries the tool without a phone: starts the phone simulator on a loopback
# address and the tool with a throw-away profile that points at it. The
# user's own profile is never read or written.
set -euo pipefail

build="${1:-build}"
tool="$build/app/OrvexToolKit"
sim="$build/tools/phone-sim/phone-sim"
# Slow enough answers that the progress can be watched.
ack_delay_ms=10
# Long enough that the post-update check finds the phone "installing".
update_busy_ms=8000

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display: run the demo under a virtual X server with 'xvfb-run -a make demo', or from a desktop session." >&2
    exit 1
fi
for f in "$tool" "$sim"; do
    [ -x "$f" ] || { echo "demo: $f is missing; run 'make build' first." >&2; exit 1; }
done

work="$(mktemp -d "${TMPDIR:-/tmp}/orvex-demo-XXXXXX")"
sim_pid=""
cleanup() {
    if [ -n "$sim_pid" ]; then
        kill "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# One Intel HEX data record with its checksum.
hex_record() { # address, bytes...
    local address=$1
    shift
    local sum=$(($# + (address >> 8) + (address & 255))) line
    line=$(printf ':%02X%04X00' $# "$address")
    for b in "$@"; do
        line+=$(printf '%02X' "$b")
        sum=$((sum + b))
    done
    printf '%s%02X\r\n' "$line" $(((256 - (sum & 255)) & 255))
}

# Sample files, offered by the file dialogs.
head -c 65536 /dev/urandom >"$work/demo.bin"
{
    for ((address = 0; address < 2048; address += 16)); do
        bytes=()
        for ((i = 0; i < 16; i++)); do bytes+=($(((address + i) & 255))); done
        hex_record "$address" "${bytes[@]}"
    done
    printf ':00000001FF\r\n'
} >"$work/page0.hex"

# The first loopback address whose port 8739 is free.
sim_log="$work/phone-sim.log"
address=""
for last in 1 $(seq 2 254); do
    candidate="127.0.0.$last"
    : >"$sim_log"
    "$sim" --address "$candidate" --save "$work/received.bin" --ack-delay "$ack_delay_ms" \
        --update-busy-ms "$update_busy_ms" >"$sim_log" 2>&1 &
    sim_pid=$!
    for _ in $(seq 50); do
        grep -q '^phone-sim: listening on' "$sim_log" && break
        kill -0 "$sim_pid" 2>/dev/null || break
        sleep 0.1
    done
    if grep -q '^phone-sim: listening on' "$sim_log"; then
        address="$candidate"
        break
    fi
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
    sim_pid=""
done
[ -n "$address" ] || { echo "demo: no loopback address with a free port 8739" >&2; exit 1; }

# The profile keeps the phone's address as an integer, first octet highest.
IFS=. read -r a b c d <<<"$address"
mkdir -p "$work/config/Quillmark Communications"
cat >"$work/config/Quillmark Communications/OrvexToolKit.conf" <<CONF
[Peer]
IPAddress=$(((a << 24) | (b << 16) | (c << 8) | d))

[ProgramUpdate]
SrcName=$work/demo.bin

[PFlashUpdate]
SrcName=$work/page0.hex
CONF

echo "demo: simulated phone on $address:8739; try Update Program and Update PFlash (the sample files are offered)."
XDG_CONFIG_HOME="$work/config" "$tool" || true
echo "demo: what the phone saw:"
sed 's/^/  /' "$sim_log"
