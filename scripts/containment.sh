#!/usr/bin/env bash
# Runs a command (default: make test) while capturing, on every real network
# interface of this machine, anything the tool could ever send: its ports,
# multicast, broadcast and the private range of its default phone address.
# Test traffic belongs on loopback and inside the tests' own namespaces, so a
# single matching packet fails the run.
set -euo pipefail

[ "$(id -u)" -eq 0 ] || { echo "containment: needs root to capture" >&2; exit 1; }
command -v tcpdump >/dev/null || { echo "containment: tcpdump is missing (make deps)" >&2; exit 1; }

filter='ip and (dst net 224.0.0.0/4 or dst host 255.255.255.255 or ether broadcast
    or net 192.168.0.0/16 or port 8739 or port 8740 or port 1025 or port 1030)'

workdir=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$workdir"
}
trap cleanup EXIT

interfaces=()
for path in /sys/class/net/*; do
    name=$(basename "$path")
    [ "$name" = lo ] && continue
    # A device that is down carries nothing, and tcpdump cannot open it.
    if (( $(cat "$path/flags") & 0x1 )); then
        interfaces+=("$name")
    else
        echo "containment: $name is down, nothing to capture"
    fi
done
echo "containment: capturing on ${interfaces[*]:-(no real interface)}"

for name in "${interfaces[@]}"; do
    tcpdump -i "$name" -n -U -w "$workdir/$name.pcap" $filter 2>"$workdir/$name.log" &
    pids+=($!)
done
# Let every capture attach before the traffic starts.
for name in "${interfaces[@]}"; do
    for _ in $(seq 50); do
        grep -q "listening on" "$workdir/$name.log" 2>/dev/null && break
        sleep 0.1
    done
    if ! grep -q "listening on" "$workdir/$name.log" 2>/dev/null; then
        echo "containment: no capture on $name:" >&2
        cat "$workdir/$name.log" >&2
        exit 1
    fi
done

status=0
if [ $# -eq 0 ]; then set -- make test; fi
"$@" || status=$?

sleep 1
for pid in "${pids[@]}"; do kill -INT "$pid" 2>/dev/null || true; done
for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
pids=()

total=0
for name in "${interfaces[@]}"; do
    if ! tcpdump -n -r "$workdir/$name.pcap" >"$workdir/$name.txt" 2>"$workdir/$name.err"; then
        echo "containment: cannot read the capture of $name:" >&2
        cat "$workdir/$name.err" "$workdir/$name.log" >&2
        exit 1
    fi
    count=$(wc -l <"$workdir/$name.txt")
    if [ "$count" -gt 0 ]; then
        echo "containment: $count packet(s) on $name:"
        head -n 20 "$workdir/$name.txt"
    fi
    total=$((total + count))
done
echo "containment: $total matching packet(s) left the machine"
[ "$status" -eq 0 ] || { echo "containment: the command itself failed ($status)"; exit "$status"; }
[ "$total" -eq 0 ]
