#!/usr/bin/env bash
# Fails unless every given Windows program imports only Windows' own DLLs:
# a program that needs libstdc++-6.dll, libwinpthread-1.dll or any other DLL
# that a bare Windows lacks does not start from the zip or the installer.
# The objdump comes from $OBJDUMP (default x86_64-w64-mingw32-objdump).
# usage: check-imports.sh PROGRAM.exe...
set -euo pipefail
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}
[ $# -gt 0 ] || { echo "usage: check-imports.sh PROGRAM.exe..." >&2; exit 2; }

# Names compared in lower case, as Windows does.
allowed='^(kernel32|user32|gdi32|comctl32|comdlg32|advapi32|ws2_32|shell32|ole32|msvcrt|ucrtbase|api-ms-win-crt-[a-z0-9-]+)\.dll$'

status=0
for exe in "$@"; do
    dump=$("$objdump" -p "$exe") || { echo "check-imports: cannot read $exe" >&2; exit 2; }
    dlls=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dump" | tr '[:upper:]' '[:lower:]' | sort -u)
    [ -n "$dlls" ] || { echo "check-imports: $exe lists no imports" >&2; status=1; continue; }
    foreign=$(grep -Ev "$allowed" <<<"$dlls" || true)
    if [ -n "$foreign" ]; then
        echo "check-imports: $(basename "$exe") imports DLLs that Windows does not ship:" \
            "$(tr '\n' ' ' <<<"$foreign")" >&2
        status=1
    else
        echo "check-imports: $(basename "$exe"): $(tr '\n' ' ' <<<"$dlls")"
    fi
done
exit $status
