#!/usr/bin/env bash
# Checks the Debian package that `make package` built: its control fields,
# that it holds exactly the files of dist/package-contents.txt, that its
# programs run from a scratch folder it was unpacked into, that removing it
# leaves nothing behind, and that lintian finds no error in it.
# usage: check-package.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: check-package.sh BUILD_DIR}" && pwd)
src=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
tool_pid=
cleanup() {
    [ -z "$tool_pid" ] || kill "$tool_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "check-package: $*" >&2
    exit 1
}

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
deb=$build/orvex-toolkit_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "no package $deb (make package builds it)"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = orvex-toolkit ] || fail "package name is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "package version '$(field Version)' is not the project's $version"
[ -n "$(field Maintainer)" ] || fail "no maintainer"
[ "$(field Description | wc -l)" -gt 1 ] || fail "the description has no long text"
# dpkg-shlibdeps fills Depends from the libraries the programs link.
for lib in libc6 libstdc++6 libqt6core6 libqt6widgets6; do
    field Depends | tr ',' '\n' | sed 's/^ *//; s/ .*//' | grep -qxF "$lib" || fail "Depends lacks $lib: $(field Depends)"
done

dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\./, "", $6); print $6 }' | sort >"$work/contents"
grep -v '^#' "$src/dist/package-contents.txt" | sort >"$work/expected"
diff -u "$work/expected" "$work/contents" >&2 || fail "the package does not hold exactly dist/package-contents.txt (- missing, + extra)"
if dpkg-deb -c "$deb" | awk '{ print $6 }' | grep -q '^\./usr/local'; then
    fail "the package has folders under /usr/local"
fi

# The unpacked programs run on the system's libraries alone.
dpkg-deb -x "$deb" "$work/root"
bin=$work/root/usr/bin
for program in "$bin"/*; do
    if ldd "$program" | grep -q 'not found'; then
        fail "$(basename "$program") misses libraries: $(ldd "$program" | grep 'not found')"
    fi
done
if [ -e "$bin/orvex" ]; then
    out=$("$bin/orvex" --version) || fail "orvex --version failed"
    grep -qF "$version" <<<"$out" || fail "orvex --version does not tell $version: $out"
fi
out=$("$bin/orvex-phone-sim" --help) || fail "orvex-phone-sim --help failed"
grep -q '^Usage:' <<<"$out" || fail "orvex-phone-sim --help printed no usage"

# The windowed tool reads no command line: start it with a throw-away
# profile, let it show its dialog, then end it by its pid. It must still be
# running when asked to end, and end by that signal (128 + SIGTERM).
mkdir -p "$work/home"
HOME=$work/home XDG_CONFIG_HOME=$work/home/.config QT_QPA_PLATFORM=offscreen \
    "$bin/OrvexToolKit" >"$work/tool.log" 2>&1 &
tool_pid=$!
sleep 3
kill -0 "$tool_pid" 2>/dev/null || { cat "$work/tool.log" >&2; fail "OrvexToolKit did not keep running"; }
kill -TERM "$tool_pid"
status=0
wait "$tool_pid" || status=$?
tool_pid=
[ "$status" -eq 143 ] || { cat "$work/tool.log" >&2; fail "OrvexToolKit ended with status $status, not by the signal"; }

# Installed into an empty dpkg root of its own and purged again, it leaves
# nothing behind but dpkg's own records. (That root has none of the
# libraries it depends on, hence --force-depends.)
mkdir -p "$work/dpkg/var/lib/dpkg/info" "$work/dpkg/var/lib/dpkg/updates"
touch "$work/dpkg/var/lib/dpkg/status"
dpkg --root="$work/dpkg" --force-depends -i "$deb" >/dev/null 2>&1 || fail "dpkg cannot install the package"
[ -x "$work/dpkg/usr/bin/OrvexToolKit" ] || fail "dpkg installed no OrvexToolKit"
dpkg --root="$work/dpkg" --purge orvex-toolkit >/dev/null || fail "dpkg cannot remove the package"
left=$(cd "$work/dpkg" && find . -mindepth 1 ! -path ./var ! -path ./var/lib ! -path './var/lib/dpkg*')
[ -z "$left" ] || fail "removing the package left behind: $left"

lintian --fail-on error --tag-display-limit 0 "$deb" | tee "$work/lintian.log" >&2 ||
    fail "lintian finds errors in the package"
echo "check-package: $(basename "$deb") holds $(wc -l <"$work/expected") files; its programs run;" \
    "lintian: $(grep -c '^W:' "$work/lintian.log" || true) warnings, no errors"
