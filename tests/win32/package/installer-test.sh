#!/usr/bin/env bash
# The installer under Wine, in the prefix and on the X server that
# scripts/test-windows.sh made: a silent install puts exactly the programs,
# the README, the licence and the uninstaller into Program Files, the Start
# menu entry, the Uninstall key and the folder on PATH; the shortcut starts
# the installed tool, whose main window appears and closes; orvex answers
# --version from a console by name; the silent uninstall, run as the
# Uninstall key tells Windows to, leaves no file, folder or key behind and
# PATH as it was, and the user's profile untouched. A PATH too long for the
# installer to edit is left alone.
# usage: installer-test.sh SETUP.exe START-WINDOWED.exe VERSION
set -euo pipefail
setup=$(realpath "${1:?usage: installer-test.sh SETUP.exe START-WINDOWED.exe VERSION}")
starter=$(realpath "${2:?}")
version=${3:?}
: "${WINEPREFIX:?run by scripts/test-windows.sh}" "${DISPLAY:?}"
dist=$(dirname "$setup")
# No menu entries on the Linux desktop for the shortcuts the installer makes.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-};winemenubuilder.exe=d"

fail() {
    echo "installer-test: $*" >&2
    exit 1
}
win() { wine "$@" 2>/dev/null | tr -d '\r'; }
# The data of one value in the listing of a key (`reg query KEY`).
value_in() { sed -n "s/^    $2    REG_[A-Z_]*    //p" <<<"$1"; }
# The data of one registry value, or nothing when it is absent. A second
# try, as a loaded machine can fail a start of wine now and then.
reg_value() {
    local listing
    listing=$(win reg query "$1" /v "$2") || { sleep 1; listing=$(win reg query "$1" /v "$2") || true; }
    value_in "$listing" "$2"
}
# Absent only when reg says so, not when wine itself failed.
key_exists() {
    local complaint
    complaint=$(wine reg query "$1" 2>&1) || true
    ! grep -q "Unable to find the specified registry key" <<<"$complaint"
}

folder='C:\Program Files\Orvex Tool Kit'
unix_folder="$WINEPREFIX/drive_c/Program Files/Orvex Tool Kit"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu"
shortcut_win='C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Orvex Tool Kit.lnk'
uninstall_keys='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
uninstall_key="$uninstall_keys\\OrvexToolKit"
environment='HKLM\System\CurrentControlSet\Control\Session Manager\Environment'
profile='HKCU\Software\Quillmark Communications\OrvexToolKit\Peer'

path_before=$(reg_value "$environment" PATH)
[ -n "$path_before" ] || fail "the prefix has no system PATH to compare with"
# A value of the user's profile that the uninstaller must leave alone.
win reg add "$profile" /v InstallerTestKept /t REG_DWORD /d 3232235777 /f >/dev/null
cleanup() {
    wine reg add "$environment" /v PATH /t REG_EXPAND_SZ /d "$path_before" /f >/dev/null 2>&1 || true
    wine reg delete "$profile" /v InstallerTestKept /f >/dev/null 2>&1 || true
}
trap cleanup EXIT

# What the uninstaller must leave exactly as it found it.
snapshot() {
    (cd "$WINEPREFIX/drive_c" && find "Program Files" "ProgramData/Microsoft/Windows/Start Menu" | sort)
    win reg query "$uninstall_keys" | grep -i '^HKEY' || true
    win reg query "$uninstall_keys\\App Paths" 2>/dev/null | grep -i '^HKEY' || true
}
before=$(snapshot)

# The uninstaller as Windows' Apps settings run it, from QuietUninstallString;
# it hands over to a copy of itself and returns at once, and removes the
# Uninstall key last.
uninstall() {
    local quiet
    quiet=$(reg_value "$uninstall_key" QuietUninstallString)
    [[ $quiet =~ ^\"([^\"]+)\"\ (.*)$ ]] || fail "QuietUninstallString is \"$quiet\""
    local program=${BASH_REMATCH[1]} options
    read -ra options <<<"${BASH_REMATCH[2]}"
    wine "$program" "${options[@]}" || fail "the uninstaller failed"
    for _ in $(seq 60); do
        key_exists "$uninstall_key" || return 0
        sleep 0.5
    done
    fail "the Uninstall key is still there 30 s after the uninstaller started"
}

# 1. Silent install.
wine "$setup" /S || fail "setup.exe /S failed"
installed=$(cd "$unix_folder" && ls | tr '\n' ' ')
[ "$installed" = "LICENSE.txt OrvexToolKit.exe README.txt orvex.exe uninstall.exe " ] ||
    fail "the install folder holds: $installed"
for exe in OrvexToolKit.exe orvex.exe; do
    cmp -s "$dist/$exe" "$unix_folder/$exe" || fail "the installed $exe is not the one in dist/"
done
[ -f "$menu/Programs/Orvex Tool Kit.lnk" ] || fail "no Start menu entry"

uninstall_values=$(win reg query "$uninstall_key")
for expected in "DisplayName=Orvex Tool Kit" "DisplayVersion=$version" \
    "Publisher=Quillmark Communications" "InstallLocation=$folder" \
    "UninstallString=\"$folder\\uninstall.exe\"" \
    "QuietUninstallString=\"$folder\\uninstall.exe\" /S" \
    "DisplayIcon=$folder\\OrvexToolKit.exe" "NoModify=0x1" "NoRepair=0x1"; do
    name=${expected%%=*}
    got=$(value_in "$uninstall_values" "$name")
    [ "$got" = "${expected#*=}" ] || fail "Uninstall\\OrvexToolKit $name is \"$got\""
done
size_kb=$(du -k --apparent-size -c "$unix_folder"/* | tail -1 | cut -f1)
estimated=$(($(value_in "$uninstall_values" EstimatedSize)))
[ $((estimated - size_kb)) -le 4 ] && [ $((size_kb - estimated)) -le 4 ] ||
    fail "EstimatedSize is $estimated KB, the folder holds $size_kb KB"
path=$(reg_value "$environment" PATH)
[ "$path" = "$path_before;$folder" ] || fail "PATH after the install is \"$path\""
# An install over an install names the folder on PATH once all the same.
wine "$setup" /S || fail "setup.exe /S over an install failed"
path=$(reg_value "$environment" PATH)
[ "$path" = "$path_before;$folder" ] || fail "PATH after a second install is \"$path\""

# 2. The installed programs run: the tool from its Start menu entry, orvex
# from a console by name alone, in a folder that does not hold it.
started=$(cd / && wine "$starter" "$shortcut_win" "Orvex Tool Kit" 20 2>&1 | tr -d '\r') ||
    fail "the installed tool did not show its window and close: $started"
grep -qxF "started $folder\\OrvexToolKit.exe" <<<"$started" ||
    fail "the Start menu entry starts: $started"
answer=$(cd / && win cmd /c "orvex --version") || fail "orvex --version from a console failed"
[ "$answer" = "orvex $version" ] || fail "orvex --version from a console printed \"$answer\""

# 3. Silent uninstall.
uninstall
after=$(snapshot)
[ "$after" = "$before" ] || fail "the uninstaller left behind:
$(diff <(echo "$before") <(echo "$after") | sed -n 's/^> //p')"
path=$(reg_value "$environment" PATH)
[ "$path" = "$path_before" ] || fail "PATH after the uninstall is \"$path\""
kept=$(reg_value "$profile" InstallerTestKept)
[ "$kept" = "0xc0a80101" ] || fail "the user's profile lost a value (it reads \"$kept\")"

# 4. A folder of the user's choice (/D=, unquoted; Wine would quote one with
# spaces), which a later install without /D keeps. PATH is edited only when
# the installer's strings (1024 characters) hold it whole: one that would
# grow too long stays as it is, and so does one that grew too long after the
# install, though it names the folder. The programs come and go all the same.
chosen='C:\OrvexToolKit'
unix_chosen="$WINEPREFIX/drive_c/OrvexToolKit"
# 1010 characters: read whole, but too long with ";C:\OrvexToolKit" added.
long_path="$path_before;C:\\Tools\\"
long_path="$long_path$(printf 'x%.0s' $(seq $((1010 - ${#long_path}))))"
win reg add "$environment" /v PATH /t REG_EXPAND_SZ /d "$long_path" /f >/dev/null
wine "$setup" /S "/D=$chosen" || fail "setup.exe /S /D=$chosen failed"
[ -f "$unix_chosen/orvex.exe" ] || fail "nothing installed in $chosen"
rm "$unix_chosen/orvex.exe"
wine "$setup" /S || fail "setup.exe /S over an install in $chosen failed"
[ -f "$unix_chosen/orvex.exe" ] || fail "a second install did not go to $chosen"
[ ! -e "$unix_folder" ] || fail "a second install went to $folder, not to $chosen"
[ "$(reg_value "$uninstall_key" InstallLocation)" = "$chosen" ] ||
    fail "InstallLocation is not $chosen"
path=$(reg_value "$environment" PATH)
[ "$path" = "$long_path" ] || fail "the installer changed a PATH of ${#long_path} characters into \"$path\""
grown_path="$path_before;$chosen;${long_path#"$path_before;"};C:\\Tools\\Grown after the install"
win reg add "$environment" /v PATH /t REG_EXPAND_SZ /d "$grown_path" /f >/dev/null
uninstall
path=$(reg_value "$environment" PATH)
[ "$path" = "$grown_path" ] || fail "the uninstaller changed a PATH of ${#grown_path} characters into \"$path\""
[ ! -e "$unix_chosen" ] || fail "the uninstaller left $chosen behind"
[ "$(snapshot)" = "$before" ] || fail "the uninstaller left files or keys behind ($chosen)"
echo "installer-test: installed, started, uninstalled without a trace"
