#!/usr/bin/env bash
# The windowed tool under Wine, worked by ui-driver.exe as a user would: the
# main dialog's texts and layout, one Update Program against the phone
# simulator, the address stored in the registry, Enter in the address field,
# and List Phones filling its rows from simulated phones.
#
#   ToolUiTest.sh TOOL.exe ui-driver.exe
#
# Needs PHONE_SIM, DISPLAY and the prepared WINEPREFIX of
# scripts/test-windows.sh. The whole test runs in a network namespace of its
# own (a user namespace too, so no root is needed), because List Phones
# multicasts its probe: there only the namespace's loopback exists. Wine's
# server must live in that namespace as well, since it is the server that
# opens the sockets, so the test works on a copy of the prefix, whose server
# is its own. Exit status 77 (skipped) where the kernel allows no namespace.
set -euo pipefail
tool=$1
driver=$2

if [ "${ORVEX_UI_TEST_INSIDE:-}" != 1 ]; then
    if ! unshare -rn true 2>/dev/null; then
        echo "SKIP: no user and network namespace here" >&2
        exit 77
    fi
    ORVEX_UI_TEST_INSIDE=1 exec unshare -rn "$0" "$@"
fi

: "${PHONE_SIM:?PHONE_SIM names the phone simulator}"
: "${WINEPREFIX:?WINEPREFIX names the prepared prefix}"
base_prefix=$WINEPREFIX
work=$(mktemp -d /tmp/orvex-ui.XXXXXX)
sim_pids=()
cleanup() {
    WINEPREFIX=$work/prefix wineserver -k 2>/dev/null || true
    for pid in "${sim_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

# Hard links keep the copy cheap; the registry files, which the server
# rewrites, are copied for real.
cp -al "$base_prefix" "$work/prefix"
for reg in "$work"/prefix/*.reg; do cp --remove-destination "$base_prefix/$(basename "$reg")" "$reg"; done
export WINEPREFIX=$work/prefix

ip link set lo up
ip link set lo multicast on
ip route add 224.0.0.0/4 dev lo

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
# expect NAME EXPECTED-FILE ACTUAL-FILE
expect() {
    if ! diff -u "$2" "$3" >&2; then fail "$1"; fi
}
winpath() { echo "Z:${1//\//\\}"; }

# start_sim READY-FILE OPTIONS...: waits for the ready line.
start_sim() {
    local out=$1
    shift
    "$PHONE_SIM" "$@" >"$out" 2>&1 &
    sim_pids+=($!)
    for _ in $(seq 100); do
        grep -q "^phone-sim: \(listening\|discovery\) on" "$out" && return 0
        sleep 0.1
    done
    echo "phone-sim did not come up:" >&2
    cat "$out" >&2
    exit 1
}

# run_tool STEPS-FILE OUTPUT-FILE: the tool and the driver, which works it
# through the steps; the tool must have ended when the steps are done.
run_tool() {
    wine "$tool" >/dev/null 2>&1 &
    local tool_pid=$!
    if ! wine "$driver" <"$1" >"$2" 2>"$2.err"; then
        grep -v '^wine: ' "$2.err" >&2 || true
        fail "driver steps $(basename "$1")"
        WINEPREFIX=$work/prefix wineserver -k 2>/dev/null || true
    fi
    wait "$tool_pid" || true
}

profile_key='HKCU\Software\Quillmark Communications\OrvexToolKit\Peer'
# The tool starts with an empty profile.
wine reg delete 'HKCU\Software\Quillmark Communications\OrvexToolKit' /f >/dev/null 2>&1 || true
peer_address() {
    { wine reg query "$profile_key" /v IPAddress 2>/dev/null || true; } |
        tr -d '\r' | awk '$1 == "IPAddress" {print $2, $3}'
}

start=$SECONDS

# --- The main dialog, Update Program, the stored address, Enter ------------
# The phone reboots after the update and refuses the check's connection, so
# the user is told the update is under way.
phone=127.0.21.1
start_sim "$work/sim-update.out" --address "$phone" --save "$work/received.bin" --update-busy-ms 8000
head -c 300 /dev/urandom >"$work/image.bin"
{
    cat "$work/image.bin"
    head -c 212 /dev/zero | tr '\0' '\377'
    printf '\201'
} >"$work/expected.bin"

cat >"$work/update.steps" <<EOF
window "Orvex Tool Kit"
layout "MS Sans Serif" 8
address 1010
type 1010 $phone
click 1055
window "Open"
open-file "$(winpath "$work/image.bin")"
timeout 30000
message
click 1
window "Orvex Tool Kit"
address 1010
type 1010 10.9.8.7
enter 1010
exit
EOF
cat >"$work/update.expected" <<EOF
1055 Button "Update Program" 40,62,74,19
1052 Button "Update PFlash" 40,99,74,19
2 Button "Quit" 40,208,74,19
-1 Static "IP Address in Terminal:" 14,11,85,8
1010 SysIPAddress32 "192.168.1.1" 14,29,128,15
1066 Button "List Phones" 40,136,74,19
192.168.1.1
OrvexToolKit|icon|Updating ... please wait until the update led stop on and off
$phone
EOF
run_tool "$work/update.steps" "$work/update.out"
expect "main dialog, update message" "$work/update.expected" "$work/update.out"
if ! cmp -s "$work/expected.bin" "$work/received.bin"; then
    fail "the phone did not receive the padded image and 0x81"
    cmp "$work/expected.bin" "$work/received.bin" >&2 || true
fi
# The update stored the typed address; the Enter that ended the tool did not
# store the next one.
got=$(peer_address)
[ "$got" = "REG_DWORD 0x7f001501" ] || fail "Peer\\IPAddress after Update Program and Enter: '$got'"

# --- List Phones -----------------------------------------------------------
cat >"$work/phones.txt" <<EOF
9.1.1.1      02:00:5e:ab:cd:01  "Desk Phone v2.1"  2001  0  1  0
192.168.1.3  02:00:5e:ab:cd:03  "Desk Phone v2.1"  2003  1  0  1
10.0.0.5     02:00:5e:ab:cd:05  "Wall Phone v1.0"  2005  2  1  0
EOF
start_sim "$work/sim-discovery.out" --no-tcp --discovery --phones-file "$work/phones.txt"
cat >"$work/list.steps" <<EOF
window "Orvex Tool Kit"
address 1010
set-address 1010 198.51.100.7
click 1066
window "List Phones"
rows 1230 3
select 1230 1
click 1
window "Orvex Tool Kit"
address 1010
click 2
exit
EOF
cat >"$work/list.expected" <<EOF
$phone
10.0.0.5|02-00-5e-ab-cd-05|Wall Phone v1.0|pppoe|2005|Yes|No
192.168.1.3|02-00-5e-ab-cd-03|Desk Phone v2.1|dhcp|2003|No|Yes
9.1.1.1|02-00-5e-ab-cd-01|Desk Phone v2.1|static|2001|Yes|No
192.168.1.3
EOF
run_tool "$work/list.steps" "$work/list.out"
expect "List Phones rows and the chosen address" "$work/list.expected" "$work/list.out"
# List Phones stored the field's address before it opened; the chosen one
# reaches the profile only with the next command.
got=$(peer_address)
[ "$got" = "REG_DWORD 0xc6336407" ] || fail "Peer\\IPAddress after List Phones: '$got'"

echo "windowed test ran in $((SECONDS - start)) s, $failures failure(s)"
[ "$failures" = 0 ]
