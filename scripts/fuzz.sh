#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer, UndefinedBehavior-
# Sanitizer and coverage on every library) and runs each for FUZZ_SECONDS
# (default 60) from its seed corpus in fuzz/corpus/<target>/. A crash, a
# leak, a sanitizer report, a broken check or a hang fails the run; the
# offending input is kept in the build dir. Prints the executions per target.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-60}
build=${FUZZ_BUILD:-build-fuzz}
jobs=$(nproc)
supp="$PWD/scripts/sanitizers"

flags="-O1 -g -fno-omit-frame-pointer -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE= -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_CXX_FLAGS="$flags" \
    -DORVEX_FUZZ=ON -DORVEX_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j"$jobs" --target fuzz_targets

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=1"
export LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"

# Room for a datagram past the socket's 1400-byte limit and a HEX file of
# some hundred records; the seeds are far smaller.
declare -A max_len=([hex_line]=600 [hex_image]=16384 [phone_reply]=256 [udp_datagram]=1500 [phones_from]=4096)

mapfile -t targets < "$build/fuzz/targets.txt"
artifacts="$build/fuzz/artifacts"
mkdir -p "$artifacts"
status=0
report=()
for name in "${targets[@]}"; do
    [ -n "$name" ] || continue
    exe="$build/fuzz/fuzz_$name"
    # New inputs go to a scratch corpus; the seeds in the repository stay as written.
    work=$(mktemp -d)
    log="$build/fuzz/$name.log"
    echo "fuzz: $name for ${seconds}s"
    rc=0
    "$exe" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 -max_len="${max_len[$name]:-4096}" \
        -print_final_stats=1 -artifact_prefix="$artifacts/$name-" "$work" "fuzz/corpus/$name" \
        >"$log" 2>&1 || rc=$?
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n1)
    if [ "$rc" -ne 0 ] || grep -qE "ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error:|check failed" "$log"; then
        echo "fuzz: $name FAILED (exit $rc); the end of $log:"
        tail -n 40 "$log"
        ls "$artifacts"/"$name"-* 2>/dev/null || true
        report+=("$(printf '%-14s %12s  FAILED' "$name" "${execs:-?}")")
        status=1
    else
        report+=("$(printf '%-14s %12s  ok' "$name" "${execs:-?}")")
    fi
    rm -rf "$work"
done

echo
printf '%-14s %12s  %s\n' target executions result
printf '%s\n' "${report[@]}"
exit "$status"
