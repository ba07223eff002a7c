#!/usr/bin/env bash
# Builds and runs the suites under AddressSanitizer + UndefinedBehaviorSanitizer,
# then under ThreadSanitizer. Any report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
supp="$PWD/scripts/sanitizers"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
export LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DORVEX_SANITIZE=address
cmake --build build-asan -j"$jobs"
(cd build-asan && ctest --output-on-failure -j"$jobs")
unset ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS

export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$supp/tsan.supp"
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DORVEX_SANITIZE=thread
cmake --build build-tsan -j"$jobs"
# Every suite with more than one thread: the sockets, the link, the updates
# and discovery (the label "threads").
(cd build-tsan && ctest --output-on-failure -j"$jobs" -L threads)
