#!/usr/bin/env bash
# scripts/check-imports.sh passes the programs of dist/ and fails a program
# that needs a DLL Windows does not ship, naming that DLL.
# usage: imports-test.sh DIST_DIR FOREIGN_IMPORT.exe FOREIGN.dll
set -euo pipefail
dist=${1:?usage: imports-test.sh DIST_DIR FOREIGN_IMPORT.exe FOREIGN.dll}
probe=${2:?}
foreign=${3:?}
check=$(dirname "$0")/../../../scripts/check-imports.sh

"$check" "$dist/OrvexToolKit.exe" "$dist/orvex.exe"

if message=$("$check" "$dist/orvex.exe" "$probe" 2>&1); then
    echo "imports-test: check-imports.sh passed a program that imports $foreign" >&2
    exit 1
fi
grep -qi "$(basename "$probe").*imports DLLs that Windows does not ship: $foreign" <<<"$message" || {
    echo "imports-test: check-imports.sh did not name $foreign: $message" >&2
    exit 1
}
echo "imports-test: $message"
