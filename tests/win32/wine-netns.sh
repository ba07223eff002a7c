#!/usr/bin/env bash
# Runs a Windows suite under Wine in a network namespace of its own, "tool",
# joined by a veth pair to a second one, "phone", where the Linux phone
# simulator answers discovery probes:
#
#   tool  veth-tool 198.18.0.1/24 (+ 198.18.0.3)  ==  veth-phone 198.18.0.2/24  phone
#
# Wine's sockets are made by its server, so the suite gets a copy of the
# prefix and its own wineserver, started inside the tool namespace. The
# namespaces go with their last process; the simulator, the namespace
# holder, that wineserver and the copy are ended here, also on failure.
# Usage: wine-netns.sh PROGRAM.exe [ARGS...]; needs PHONE_SIM and WINEPREFIX.
set -euo pipefail
if [ -z "${PHONE_SIM:-}" ] || [ -z "${WINEPREFIX:-}" ]; then
    echo "no phone simulator or Wine prefix (scripts/test-windows.sh gives both)"
    exit 77
fi
if [ "${ORVEX_NETNS_SIDE:-}" != tool ]; then
    # Without root, a user namespace of our own makes us root in it.
    user=()
    [ "$(id -u)" = 0 ] || user=(--user --map-root-user)
    exec unshare "${user[@]}" --net --fork env ORVEX_NETNS_SIDE=tool "$0" "$@"
fi

holder_pid=
sim_pid=
outer_prefix=$WINEPREFIX
WINEPREFIX=$(mktemp -d /tmp/orvex-wine-netns.XXXXXX)
export WINEPREFIX
cleanup() {
    wineserver -k 2>/dev/null || true
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null
    [ -n "$holder_pid" ] && kill "$holder_pid" 2>/dev/null
    rm -rf "$WINEPREFIX"
}
trap cleanup EXIT

# The phone namespace lives as long as this process sleeps in it.
unshare --net sleep infinity &
holder_pid=$!
for _ in $(seq 100); do
    [ "$(readlink /proc/$holder_pid/ns/net)" != "$(readlink /proc/self/ns/net)" ] && break
    sleep 0.01
done
phone() { nsenter --net=/proc/$holder_pid/ns/net "$@"; }

ip link set lo up
ip link add veth-tool type veth peer name veth-phone netns /proc/$holder_pid/ns/net
ip addr add 198.18.0.1/24 dev veth-tool
ip addr add 198.18.0.3/24 dev veth-tool
ip link set veth-tool up
ip route add 224.0.0.0/4 dev veth-tool
phone ip link set lo up
phone ip addr add 198.18.0.2/24 dev veth-phone
phone ip link set veth-phone up
phone ip route add 224.0.0.0/4 dev veth-phone

# Three phones, their replies in an order unlike the list's.
phones=$WINEPREFIX/phones.txt
sim_log=$WINEPREFIX/phone-sim.log
cat >"$phones" <<'PHONES'
192.168.1.9   00:09:45:10:ab:01 "Desk v1"   3009 0 1 1
192.168.0.20  00:09:45:10:ab:cd "VoIP v2.3" 2001 2 1 0
192.168.1.10  00:09:45:10:ab:02 "Desk v1"   3010 4 2 0
PHONES
phone "$PHONE_SIM" --no-tcp --discovery --mcast-if 198.18.0.2 --phones-file "$phones" \
    >"$sim_log" 2>&1 &
sim_pid=$!
for _ in $(seq 500); do
    grep -q "phone-sim: discovery on" "$sim_log" && break
    kill -0 "$sim_pid" 2>/dev/null || { cat "$sim_log" >&2; exit 1; }
    sleep 0.02
done

# A copy of the prepared prefix: its wineserver starts here, in the namespace.
cp -a "$outer_prefix/." "$WINEPREFIX/"
export ORVEX_NETNS_SIM_LOG="Z:${sim_log//\//\\}"
wine "$@"
