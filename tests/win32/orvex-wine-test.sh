#!/usr/bin/env bash
# orvex.exe end to end under Wine, against the Linux phone simulator on
# loopback addresses 127.0.19.x, beside the Linux orvex on the same inputs:
#   update      one phone gets exactly the padded image and 0x81; status 0
#   json        three phones at once (updating, invalid method, refused):
#               the same events, outcomes, texts and status as on Linux,
#               times masked, progress left out; the --report rows too
#   ctrl-c      SIGINT to orvex.exe (Wine passes it on as CTRL_C_EVENT):
#               the phone gets no more blocks and no 0x81; interrupted, 130
#   reader      the reader of --json goes away: both phones finish, one line
#               on stderr, status 0
#   list        list --json in the network namespaces of wine-netns.sh: the
#               simulator's three phones in the list's order
# Usage: orvex-wine-test.sh ORVEX_EXE CASE. Needs PHONE_SIM (the Linux
# simulator) and ORVEX_LINUX (the Linux orvex); runs in the Wine prefix of
# scripts/test-windows.sh.
set -uo pipefail
exe=$1
case_name=$2
: "${PHONE_SIM:?PHONE_SIM names the Linux phone simulator}"
# The Linux orvex beside the simulator in the Linux build, unless named.
ORVEX_LINUX=${ORVEX_LINUX:-$(dirname "$PHONE_SIM")/../../cli/orvex}
[ -x "$ORVEX_LINUX" ] || { echo "no Linux orvex at $ORVEX_LINUX" >&2; exit 1; }

work=$(mktemp -d /tmp/orvex-wine-test.XXXXXX)
sims=()
cleanup() {
    for pid in "${sims[@]}"; do
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# Wine's name for a file here: drive Z: is the root.
winpath() { echo "Z:${1//\//\\}"; }

# start_sim ADDRESS SAVE [OPTIONS...]: a simulator that keeps what it gets.
start_sim() {
    local address=$1 save=$2
    shift 2
    exec {fd}< <("$PHONE_SIM" --address "$address" --save "$save" "$@" 2>&1 & echo "pid $!")
    local _ pid ready
    read -r _ pid <&"$fd"
    sims+=("$pid")
    read -r -t 10 ready <&"$fd"
    case "$ready" in
    *" on $address:"*) ;;
    *) echo "phone-sim on $address did not come up: $ready" >&2; exit 1 ;;
    esac
}

stop_sims() {
    for pid in "${sims[@]}"; do
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    sims=()
}

# The image, 0xFF up to a multiple of 256, then the finishing byte 0x81.
expected_received() {
    local image=$1 size pad
    size=$(stat -c %s "$image")
    pad=$(( (256 - size % 256) % 256 ))
    cat "$image"
    head -c "$pad" /dev/zero | tr '\0' '\377'
    printf '\201'
}

# JSON lines as both programs print them, times masked, progress left out,
# in a fixed order (phones run at once end in any order).
events() {
    grep -v '"event":"progress"' "$1" |
        sed -E 's/"(time|seconds)":[0-9.eE+-]+/"\1":0/g' | sort
}

head -c 1000 /dev/urandom >"$work/fw.bin"

case "$case_name" in
update)
    start_sim 127.0.19.1 "$work/got1.bin" --update-busy-ms 3000
    wine "$exe" update-program "$(winpath "$work/fw.bin")" --phone 127.0.19.1 \
        --check-timeout 1000 >"$work/out" 2>"$work/err"
    status=$?
    [ "$status" -eq 0 ] || fail "status $status, not 0: $(cat "$work/out" "$work/err")"
    cmp -s <(expected_received "$work/fw.bin") "$work/got1.bin" ||
        fail "the phone did not get the padded image and 0x81 ($(stat -c %s "$work/got1.bin") bytes)"
    grep -q '^127\.0\.19\.1: updating: Updating \.\.\. please wait' "$work/out" ||
        fail "no 'updating' line: $(cat "$work/out")"
    ;;
json)
    for run in linux windows; do
        start_sim 127.0.19.2 "$work/$run-2.bin" --update-busy-ms 3000
        start_sim 127.0.19.3 "$work/$run-3.bin" --update-busy-ms 0
        start_sim 127.0.19.4 "$work/$run-4.bin" --refuse
        if [ "$run" = linux ]; then
            "$ORVEX_LINUX" update-program "$work/fw.bin" --phone 127.0.19.2 --phone 127.0.19.3 \
                --phone 127.0.19.4 --check-timeout 1000 --connect-timeout 1000 --json \
                --report "$work/linux-report.json" >"$work/linux.json" 2>"$work/linux.err"
        else
            wine "$exe" update-program "$(winpath "$work/fw.bin")" --phone 127.0.19.2 \
                --phone 127.0.19.3 --phone 127.0.19.4 --check-timeout 1000 \
                --connect-timeout 1000 --json \
                --report "$(winpath "$work/windows-report.json")" \
                >"$work/windows.json" 2>"$work/windows.err"
        fi
        echo $? >"$work/$run.status"
        stop_sims
    done
    [ "$(cat "$work/linux.status")" = 1 ] || fail "Linux status $(cat "$work/linux.status"), not 1"
    [ "$(cat "$work/windows.status")" = "$(cat "$work/linux.status")" ] ||
        fail "status $(cat "$work/windows.status") on Windows, $(cat "$work/linux.status") on Linux"
    [ "$(grep -c '"event":"done"' "$work/windows.json")" = 3 ] || fail "not three done events"
    diff <(events "$work/linux.json") <(events "$work/windows.json") >&2 ||
        fail "the events differ (< Linux, > Windows)"
    diff <(sed -E 's/"seconds":[0-9.eE+-]+/"seconds":0/' "$work/linux-report.json") \
        <(sed -E 's/"seconds":[0-9.eE+-]+/"seconds":0/' "$work/windows-report.json") >&2 ||
        fail "the reports differ (< Linux, > Windows)"
    cmp -s <(expected_received "$work/fw.bin") "$work/windows-2.bin" ||
        fail "127.0.19.2 did not get the padded image and 0x81"
    ;;
ctrl-c)
    # 1 MiB at 50 ms an answer: minutes, unless the stop works.
    head -c 1048576 /dev/urandom >"$work/big.bin"
    start_sim 127.0.19.5 "$work/got5.bin" --ack-delay 50
    wine "$exe" update-program "$(winpath "$work/big.bin")" --phone 127.0.19.5 --json \
        >"$work/out" 2>"$work/err" &
    pid=$!
    for _ in $(seq 100); do
        grep -q '"state":"sending"' "$work/out" && break
        sleep 0.1
    done
    grep -q '"state":"sending"' "$work/out" || fail "no block went out: $(cat "$work/out")"
    kill -INT "$pid"
    for _ in $(seq 150); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then
        fail "orvex.exe still runs 15 s after SIGINT"
        kill -KILL "$pid"
    fi
    wait "$pid"
    status=$?
    [ "$status" -eq 130 ] || fail "status $status, not 130"
    grep -q '"outcome":"interrupted"' "$work/out" || fail "not reported interrupted: $(cat "$work/out")"
    grep -q '"finished":false' "$work/out" || fail "reported finished"
    got=$(stat -c %s "$work/got5.bin")
    [ "$got" -lt 1048576 ] || fail "the phone got $got bytes: the whole image"
    [ "$(tail -c 1 "$work/got5.bin" | od -An -tx1 | tr -d ' ')" != 81 ] ||
        fail "the phone got the finishing byte"
    # Nothing more once stopped: the count stays where it is.
    sleep 1
    [ "$(stat -c %s "$work/got5.bin")" = "$got" ] || fail "blocks went on after the stop"
    ;;
reader)
    start_sim 127.0.19.6 "$work/got6.bin" --update-busy-ms 3000 --ack-delay 2
    start_sim 127.0.19.7 "$work/got7.bin" --update-busy-ms 3000 --ack-delay 2
    head -c 65536 /dev/urandom >"$work/fw.bin"
    wine "$exe" update-program "$(winpath "$work/fw.bin")" --phone 127.0.19.6 \
        --phone 127.0.19.7 --check-timeout 1000 --json 2>"$work/err" | head -1 >"$work/out"
    status=${PIPESTATUS[0]}
    [ "$status" -eq 0 ] || fail "status $status, not 0: $(cat "$work/err")"
    [ "$(wc -l <"$work/out")" = 1 ] || fail "head did not get its line"
    for n in 6 7; do
        cmp -s <(expected_received "$work/fw.bin") "$work/got$n.bin" ||
            fail "127.0.19.$n did not get the padded image and 0x81"
    done
    [ "$(grep -c 'orvex: standard output is closed; nothing more is written there, and the updates run to their end' "$work/err")" = 1 ] ||
        fail "not said once on stderr: $(cat "$work/err")"
    ;;
list)
    bash "$(dirname "$0")/wine-netns.sh" "$exe" list --json --probes 2 --wait 1 \
        --local-address 198.18.0.1 >"$work/out" 2>"$work/err"
    status=$?
    [ "$status" -eq 77 ] && { echo "skipped: $(cat "$work/out")"; exit 77; }
    [ "$status" -eq 0 ] || fail "status $status, not 0: $(cat "$work/out" "$work/err")"
    [ "$(grep -o '"ip":"[0-9.]*"' "$work/out" | tr '\n' ' ')" = \
        '"ip":"192.168.0.20" "ip":"192.168.1.10" "ip":"192.168.1.9" ' ] ||
        fail "not the three phones in order: $(cat "$work/out")"
    grep -q '"mac":"00-09-45-10-ab-cd".*"phoneNumber":"2001"' "$work/out" ||
        fail "192.168.0.20's row: $(cat "$work/out")"
    ;;
*)
    echo "unknown case $case_name" >&2
    exit 2
    ;;
esac
[ "$failures" -eq 0 ] && echo "$case_name: passed"
exit $((failures > 0))
