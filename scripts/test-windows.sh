#!/usr/bin/env bash
# Runs the Windows test suites of build-windows/ (or $1) under Wine, in a
# throw-away prefix whose registry is the one the profile tests write, on a
# virtual X server of its own (Wine's windows, even hidden ones, need one).
# Only this prefix's wineserver and this X server are stopped at the end,
# also after a failure. Further arguments go to ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-windows}
jobs=${2:-${JOBS:-2}}
shift $(( $# > 2 ? 2 : $# ))

WINEPREFIX=$(mktemp -d /tmp/orvex-wine.XXXXXX)
export WINEPREFIX
# No Mono, no Gecko, and no menu entries or file associations on this
# machine's desktop from the programs the suites start.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEDEBUG=-all
xvfb_pid=
sim_pid=
cleanup() {
    wineserver -k 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null
    rm -rf "$WINEPREFIX"
}
trap cleanup EXIT

# pid_and_line FD: reads the "pid N" line and the program's first line from
# FD into $started_pid and $first_line, in whichever order they came (the
# program may write before the shell echoes its pid).
pid_and_line() {
    local line
    started_pid='' first_line=''
    while [ -z "$started_pid" ] || [ -z "$first_line" ]; do
        read -r line <&"$1" || return 1
        case "$line" in
        "pid "*) started_pid=${line#pid } ;;
        *) first_line=$line ;;
        esac
    done
}

# Xvfb picks a free display and writes its number to the pipe.
exec {displayfd}< <(Xvfb -displayfd 1 -nolisten tcp -screen 0 1024x768x24 2>/dev/null & echo "pid $!")
pid_and_line "$displayfd"
xvfb_pid=$started_pid
display=$first_line
export DISPLAY=":$display"

start=$SECONDS
wineboot -i >/dev/null 2>&1
wineserver -w
echo "Wine prefix ready in $((SECONDS - start)) s"
# The Linux phone simulator, for the suites that talk TCP: on an address of
# its own, keeping what it receives where the tests read it through Z:.
if [ -n "${PHONE_SIM:-}" ]; then
    # ORVEX_WIN_SIM_ADDRESS lets two runs on one machine keep apart.
    sim_address=${ORVEX_WIN_SIM_ADDRESS:-127.0.16.1}
    sim_save="$WINEPREFIX/phone-received.bin"
    exec {simfd}< <("$PHONE_SIM" --address "$sim_address" --update-busy-ms 0 \
        --save "$sim_save" 2>&1 & echo "pid $!")
    pid_and_line "$simfd" || true
    sim_pid=$started_pid
    ready=$first_line
    case "$ready" in
    *" on $sim_address:"*) ;;
    *) echo "phone-sim did not come up: $ready" >&2; exit 1 ;;
    esac
    export ORVEX_SIM_ADDRESS=$sim_address
    export ORVEX_SIM_SAVE="Z:${sim_save//\//\\}"
fi

cd "$build"
ctest -j"$jobs" --output-on-failure "$@"
