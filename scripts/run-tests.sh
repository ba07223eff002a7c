#!/usr/bin/env bash
# make test: every suite through CTest, then one line on what did not run.
# Without root, and where the kernel allows no user namespace, every test that
# needs a network namespace skips; the closing line keeps such a run from
# passing for a full one.
set -uo pipefail
# Usage: run-tests.sh [BUILD [JOBS [CTEST-ARGS...]]], for example -L netns.
build=${1:-build}
jobs=${2:-$(nproc)}
shift $(($# < 2 ? $# : 2))
cd "$build" || exit 2

ctest --output-on-failure -j"$jobs" "$@"
rc=$?

log=Testing/Temporary/LastTest.log
skipped=$(grep -c '^Skip regular expression found in output' "$log" 2>/dev/null)
if [ "${skipped:-0}" -gt 0 ]; then
    # GoogleTest prints the reason on the line after "file:line: Skipped".
    reasons=$(grep -A1 ': Skipped$' "$log" | grep -v -e ': Skipped$' -e '^--$' | sort | uniq -c | sort -rn |
        sed 's/^ *\([0-9]*\) \(.*\)/\1 × \2/' | paste -sd ';' - | sed 's/;/; /g')
    [ "$skipped" -eq 1 ] && noun=test || noun=tests
    echo "make test: $skipped $noun skipped: ${reasons:-no reason given}"
fi
exit $rc
