#!/usr/bin/env bash
# Installs the build into a scratch folder and checks what a desktop and a
# technician find there: the programs, the desktop entry and metainfo (by
# their validators), every icon size, a manual page per program that renders
# without a warning; then that uninstalling leaves no file behind.
# usage: check-install.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: check-install.sh BUILD_DIR}" && pwd)
src=$(cd "$(dirname "$0")/.." && pwd)
app_id=com.quillmark.OrvexToolKit
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "check-install: $*" >&2
    exit 1
}

prefix=/usr/local
root=$work/root
dir=$root$prefix
# Installing one component writes install_manifest_Unspecified.txt, so the
# install_manifest.txt of a real `make install`, which `make uninstall`
# reads, stays as it is.
DESTDIR=$root cmake --install "$build" --prefix "$prefix" --component Unspecified >/dev/null
manifest=$build/install_manifest_Unspecified.txt

# The programs run from where they were installed.
help=$("$dir/bin/orvex-phone-sim" --help) || fail "orvex-phone-sim --help failed"
grep -q '^Usage:' <<<"$help" || fail "orvex-phone-sim --help printed no usage"
if [ -e "$dir/bin/orvex" ]; then
    "$dir/bin/orvex" --version >/dev/null || fail "orvex --version failed"
fi

desktop=$dir/share/applications/$app_id.desktop
metainfo=$dir/share/metainfo/$app_id.metainfo.xml
desktop-file-validate "$desktop" || fail "$desktop does not validate"
appstreamcli validate --no-net --no-color "$metainfo" >"$work/appstream.log" 2>&1 ||
    { cat "$work/appstream.log" >&2; fail "$metainfo does not validate"; }
grep -qx "Exec=OrvexToolKit" "$desktop" || fail "the desktop entry does not start OrvexToolKit"
grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" ||
    fail "the metainfo does not launch $app_id.desktop"
# The desktop links a window to its entry through the name the tool gives
# Qt, stored in the binary as UTF-16.
python3 - "$dir/bin/OrvexToolKit" "$app_id" <<'PY' || fail "OrvexToolKit does not name $app_id.desktop as its desktop file"
import sys
sys.exit(sys.argv[2].encode("utf-16-le") not in open(sys.argv[1], "rb").read())
PY

# Each icon is a PNG of its folder's size, under the name the entry gives.
icon=$(sed -n 's/^Icon=//p' "$desktop")
for size in 16 32 48 64 128 256; do
    png=$dir/share/icons/hicolor/${size}x${size}/apps/$icon.png
    [ -f "$png" ] || fail "no icon $png"
    python3 - "$png" "$size" <<'PY' || fail "$png is not a ${size}x${size} PNG"
import struct, sys
head = open(sys.argv[1], "rb").read(24)
size = int(sys.argv[2])
sys.exit(head[:8] != b"\x89PNG\r\n\x1a\n" or struct.unpack(">II", head[16:24]) != (size, size))
PY
done

# Every program has its manual page, and each page renders without a warning.
for program in "$dir"/bin/*; do
    page=$dir/share/man/man1/$(basename "$program").1.gz
    [ -f "$page" ] || fail "no manual page for $(basename "$program")"
done
for page in "$dir"/share/man/man1/*.1.gz; do
    mandoc -T lint "$page" >&2 || fail "mandoc finds faults in $page"
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man warns about $page: $warnings"
done

# Each page names every command and option its program's --help lists.
options() { sed -n 's/^  \(-[-A-Za-z0-9,]*\).*/\1/p' | tr ',' '\n'; }
documents() {
    local page=$dir/share/man/man1/$1.1.gz word text
    text=$(LC_ALL=C MANWIDTH=1000 man -l "$page" 2>/dev/null)
    shift
    for word in "$@"; do
        grep -Eq -- "(^|[^-A-Za-z0-9])$word([^-A-Za-z0-9]|\$)" <<<"$text" || fail "$(basename "$page") lacks $word"
    done
}
documents orvex-phone-sim $("$dir/bin/orvex-phone-sim" --help | options)
if [ -e "$dir/bin/orvex" ]; then
    commands=$("$dir/bin/orvex" --help | sed -n '/^Subcommands:/,/^$/s/^  \([a-z][-a-z]*\) .*/\1/p')
    [ -n "$commands" ] || fail "orvex --help lists no commands"
    documents orvex $commands $("$dir/bin/orvex" --help | options)
    for command in $commands; do
        documents orvex $("$dir/bin/orvex" "$command" --help | options)
    done
fi

# Uninstalling removes every file and every folder that held nothing else.
installed=$(grep -c '' "$manifest")
DESTDIR=$root cmake -DMANIFEST="$manifest" -P "$src/dist/uninstall.cmake" >/dev/null
rm -f "$manifest"
left=$(find "$root" ! -type d)
[ -z "$left" ] || fail "uninstall left files behind: $left"
left=$(find "$root" -mindepth 1 -type d -printf '/%P\n' |
    grep -Evx "/usr|/usr/local|$prefix/(bin|share|share/(applications|metainfo|doc|man|man/man1|icons|icons/hicolor))" || true)
[ -z "$left" ] || fail "uninstall left folders behind: $left"
echo "check-install: $installed files installed, checked and uninstalled"
