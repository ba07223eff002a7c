#!/usr/bin/env bash
# The portable zip unpacks into one folder holding exactly the two programs
# of dist/, README.txt and LICENSE.txt (CRLF text, for Notepad), and orvex
# runs from there under Wine, in the prefix of scripts/test-windows.sh.
# usage: zip-test.sh ZIP VERSION
set -euo pipefail
zip=$(realpath "${1:?usage: zip-test.sh ZIP VERSION}")
version=${2:?}
: "${WINEPREFIX:?run by scripts/test-windows.sh}"
dist=$(dirname "$zip")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "zip-test: $*" >&2
    exit 1
}

unzip -q "$zip" -d "$work"
listed=$(cd "$work" && find . -mindepth 1 | sort | tr '\n' ' ')
folder=orvex-toolkit-$version
expected="./$folder ./$folder/LICENSE.txt ./$folder/OrvexToolKit.exe ./$folder/README.txt ./$folder/orvex.exe "
[ "$listed" = "$expected" ] || fail "the zip holds: $listed"
for exe in OrvexToolKit.exe orvex.exe; do
    cmp -s "$dist/$exe" "$work/$folder/$exe" || fail "the zip's $exe is not the one in dist/"
done
for text in README.txt LICENSE.txt; do
    lines=$(wc -l <"$work/$folder/$text")
    crlf=$(grep -c $'\r$' "$work/$folder/$text" || true)
    [ "$lines" -gt 0 ] && [ "$lines" = "$crlf" ] || fail "$text has $crlf CRLF line ends in $lines lines"
done
grep -q "^Orvex Tool Kit $version for Windows"$'\r$' "$work/$folder/README.txt" ||
    fail "README.txt does not name version $version"
grep -q "All rights reserved" "$work/$folder/LICENSE.txt" || fail "LICENSE.txt holds no licence"
answer=$(wine "$work/$folder/orvex.exe" --version 2>/dev/null | tr -d '\r') ||
    fail "orvex.exe from the zip failed"
[ "$answer" = "orvex $version" ] || fail "orvex.exe from the zip printed \"$answer\""
echo "zip-test: $expected"
