#!/usr/bin/env bash
# The Windows packages end to end, in scratch copies of the 32- and 64-bit test prefixes, with
# Wine's menu builder writing launchers for the Start-menu group into scratch XDG folders:
# scripts/package-windows.sh makes the setup and the portable zip; the setup installs silently
# (32-bit: into C:\Tarnwell, then once more, which updates that folder in place; 64-bit: into
# "Program Files (x86)" with the desktop shortcut); INSTALLED_PROGRAM_TEST.exe checks the
# uninstall entry and the versions, starts the program from the Start-menu shortcut's target,
# runs the setup meanwhile (refused, nothing changed) and closes it; a scan of every category
# reports nothing new naming Tarnwell; the silent uninstall keeps the user's data, and once that
# is taken away the registry, the files under drive_c and the XDG folders are as they were
# before the install (apart from Wine's own keys of each session), and a scan reports nothing
# new naming Tarnwell.
#   setup_prefix.sh INSTALLED_PROGRAM_TEST.exe TARNWELL_SCAN.exe
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
helper=$1 scan=$2
. "$root/scripts/wine-env.sh"
command -v makensis >/dev/null || { echo "makensis is missing: run scripts/setup.sh"; exit 1; }
work=$(mktemp -d /tmp/tw-setup-XXXXXX)
cleanup() {
    local p
    for p in "$work"/win*/pfx; do
        if [ -d "$p" ]; then WINEPREFIX=$p wineserver -k 2>/dev/null || true; fi
    done
    rm -rf "$work"
}
trap cleanup EXIT
arch=package
fail() { echo "$arch: $*" >&2; exit 1; }

bash "$root/scripts/package-windows.sh" --no-build --out "$work/dist" >/dev/null
version=$(sed -n 's/^#define TW_VERSION_STR "\([^"]*\)".*/\1/p' "$root/res/version.h")
setup=$work/dist/tarnwell-$version-setup.exe
zip=$work/dist/tarnwell-$version-portable.zip
[ -f "$setup" ] || fail "no tarnwell-$version-setup.exe"
want=$( (printf '%s\n' / Kivcc.chm Kivcc-en.chm LICENSE.txt ReadMe.txt tarnwell-scan.exe tarnwell.exe
        cd "$root/build" && echo help/ && find help/zh help/en -type d -printf '%p/\n' -o -type f -print) | sed "s|^/\{0,1\}|tarnwell-$version/|" | sort)
[ "$(unzip -Z1 "$zip" | sort)" = "$want" ] || fail "the portable zip holds: $(unzip -Z1 "$zip")"

# Wine's menu builder at work (the other tests switch it off).
export WINEDLLOVERRIDES="mscoree,mshtml="
mkdir "$work/scan"
cp "$scan" "$work/scan/tarnwell-scan.exe"

# What names Tarnwell in a scan of every category, by the given scanner (a Windows path).
tarnwell_rows() {
    local out rc=0
    out=$(tw_env timeout 600 wine "$1" --all --utf8 2>/dev/null) || rc=$?
    [ "$rc" -eq 0 ] || fail "the scan of every category ended with $rc"
    grep -i tarnwell <<<"$out" | sort || true
}

# The state the uninstall must give back, after a fresh session start: the registry without the
# keys Wine makes anew for each session (the display driver's key and its date, and the count of
# service starts the service manager keeps in ServiceCurrent, and whether each input device's
# interface is linked, which depends on the devices Wine's bus found by then), the files under
# drive_c and the files of the scratch home and XDG folders. Each registry line carries its key,
# so that a difference names where it lies.
snapshot() {
    wineserver -w 2>/dev/null || true
    tw_env wine regedit /e "$work/$arch/$1.reg" >/dev/null 2>&1
    wineserver -w 2>/dev/null || true
    iconv -f UTF-16LE -t UTF-8 "$work/$arch/$1.reg" |
        awk '/^\[/ { key = $0; skip = ($0 ~ /\\Control\\Video\\\{/ || $0 ~ /\\Control\\ServiceCurrent\]/ ||
                               $0 ~ /\\Control\\DeviceClasses\\.*\\#\\Control\]/) } !skip && !/^"DriverDateData"=/ { print key " " $0 }' \
            >"$work/$arch/$1.txt"
    (cd "$WINEPREFIX/drive_c" && find . | sort) >"$work/$arch/$1.files"
    (cd "$HOME" && find . | sort) >"$work/$arch/$1.home"
}
same_as_before() {
    local kind
    for kind in txt files home; do
        diff "$work/$arch/before.$kind" "$work/$arch/after.$kind" >"$work/$arch/diff.$kind" ||
            fail "after the uninstall, $kind differs from before the install:"$'\n'"$(head -40 "$work/$arch/diff.$kind")"
    done
}

for arch in win32 win64; do
    if [ $arch = win32 ]; then template=${TW_TEST_PREFIX:-}; else template=${TW_TEST_PREFIX64:-}; fi
    [ -n "$template" ] && [ -f "$template/system.reg" ] || fail "no test prefix to copy: run scripts/test.sh"
    mkdir -p "$work/$arch/pfx" "$work/$arch/home"
    cp -a "$template/." "$work/$arch/pfx/"
    export WINEPREFIX=$work/$arch/pfx WINEARCH=$arch HOME=$work/$arch/home
    export XDG_DATA_HOME=$HOME/.local/share XDG_CONFIG_HOME=$HOME/.config
    # The user's desktop is a link to the real home: a real folder here.
    for d in "$WINEPREFIX"/drive_c/users/*/Desktop; do
        if [ -L "$d" ]; then rm "$d" && mkdir "$d"; fi
    done
    # The window tests of the shared prefix leave the program's record behind.
    [ $arch = win64 ] || wine reg delete 'HKLM\Software\Kiv' /f >/dev/null 2>&1 || true
    before=$(tarnwell_rows 'Z:\'"${work//\//\\}"'\scan\tarnwell-scan.exe')
    snapshot before

    setup_win='Z:'"${setup//\//\\}"
    if [ $arch = win32 ]; then
        folder='C:\Tarnwell' unix=$WINEPREFIX/drive_c/Tarnwell
        tw_env timeout 300 wine "$setup" /S '/D=C:\Tarnwell' || fail "the setup failed"
        # Once more, without a folder: the installed copy is updated where it is.
        tw_env timeout 300 wine "$setup" /S || fail "the setup over the installed copy failed"
        [ ! -e "$WINEPREFIX/drive_c/Program Files/Tarnwell" ] || fail "the update went to another folder"
    else
        folder='C:\Program Files (x86)\Tarnwell' unix="$WINEPREFIX/drive_c/Program Files (x86)/Tarnwell"
        tw_env timeout 300 wine "$setup" /S /DESKTOP || fail "the setup failed"
        [ -f "$WINEPREFIX/drive_c/users/Public/Desktop/Tarnwell.lnk" ] || fail "no desktop shortcut"
    fi
    # The menu builder writes the launchers after the setup has ended.
    wineserver -w 2>/dev/null || true
    for f in tarnwell.exe tarnwell-scan.exe Kivcc.chm Kivcc-en.chm help/zh/Topic_17.htm help/en/Topic_17.htm \
             ReadMe.txt LICENSE.txt uninst.exe; do
        [ -f "$unix/$f" ] || fail "not installed: $f"
    done
    group=$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start\ Menu/Programs/Tarnwell
    [ "$(ls "$group" | wc -l)" -eq 3 ] || fail "the Start-menu group holds: $(ls "$group")"
    [ "$(ls "$XDG_DATA_HOME/applications/wine/Programs/Tarnwell" | wc -l)" -eq 3 ] ||
        fail "Wine's menu builder made no launchers for the group"

    TW_SETUP=$setup_win tw_env timeout 300 wine "$helper" || fail "the installed program failed its checks"
    rows=$(tarnwell_rows "$folder\\tarnwell-scan.exe")
    [ "$rows" = "$before" ] || fail "installed, Tarnwell was reported:"$'\n'"$rows"

    # The user's data, and data an older portable use left beside the program: a silent
    # uninstall keeps both.
    appdata=$(echo "$WINEPREFIX"/drive_c/users/*/AppData/Roaming/Tarnwell)
    mkdir -p "$appdata/Undo"
    echo x >"$appdata/Undo/2026-01-01_00-00-00.reg"
    echo x >"$unix/Repair.log"
    tw_env timeout 300 wine "$folder\\uninst.exe" /S || fail "the uninstaller failed"
    wineserver -w 2>/dev/null || true
    [ "$(cd "$unix" && ls)" = Repair.log ] || fail "the program folder holds: $(ls "$unix")"
    [ "$(cd "$appdata" && find . -type f)" = ./Undo/2026-01-01_00-00-00.reg ] ||
        fail "the user's data folder holds: $(cd "$appdata" && find .)"
    rm -rf "$unix" "$appdata"

    rows=$(tarnwell_rows 'Z:\'"${work//\//\\}"'\scan\tarnwell-scan.exe')
    [ "$rows" = "$before" ] || fail "uninstalled, Tarnwell was reported:"$'\n'"$rows"
    snapshot after
    same_as_before
    wineserver -k 2>/dev/null || true
    echo "$arch: ok"
done
