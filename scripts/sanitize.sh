#!/usr/bin/env bash
# Builds and runs the suites under AddressSanitizer + UndefinedBehaviorSanitizer,
# then under ThreadSanitizer. Any report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
supp="$PWD/scripts/sanitizers"
asan_build=${SANITIZE_ASAN_BUILD:-build-asan}
tsan_build=${SANITIZE_TSAN_BUILD:-build-tsan}

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
export LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
cmake -S . -B "$asan_build" -DCMAKE_BUILD_TYPE=Debug -DORVEX_SANITIZE=address
cmake --build "$asan_build" -j"$jobs"
(cd "$asan_build" && ctest --output-on-failure -j"$jobs")
unset ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS

export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$supp/tsan.supp"
cmake -S . -B "$tsan_build" -DCMAKE_BUILD_TYPE=Debug -DORVEX_SANITIZE=thread
cmake --build "$tsan_build" -j"$jobs"
# Every suite with more than one thread: the sockets, the link, the updates
# and discovery (the label "threads").
# No such suite would make this pass vacuously: that is a failure too.
(cd "$tsan_build" && ctest --output-on-failure -j"$jobs" -L threads --no-tests=error)
