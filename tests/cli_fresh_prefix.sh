#!/usr/bin/env bash
# The console scanner on a fresh prefix: it must finish, exit 0, print its Findings as five
# tab-separated fields a line, close with the status line on stderr, and report only the rows a
# fresh prefix really has.
#   cli_fresh_prefix.sh [EXE] [win32|win64]
# win32 boots a new 32-bit prefix and runs the usual rows, then every row, on the prefix as Wine
# boots it and with Wine reporting a system of the 98 family (major version 4) and of the
# 2000/XP family (5). win64 takes a fresh 64-bit prefix (a copy of the untouched
# $TW_TEST_PREFIX64 when there is one), where the program runs under WOW64, and runs the usual
# rows and every row: there no Finding may name a file that exists in the real system folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
exe=${1:-$root/build/tarnwell-scan.exe}
arch=${2:-win32}
. "$root/scripts/wine-env.sh"
prefix=$(mktemp -d /tmp/tw-fresh-XXXXXX)
xdg=$(mktemp -d /tmp/tw-xdg-XXXXXX)
trap 'WINEPREFIX=$prefix wineserver -k 2>/dev/null || true; rm -rf "$prefix" "$xdg"' EXIT
tw_scratch_xdg "$xdg/data" "$xdg/config"
export WINEPREFIX=$prefix WINEARCH=$arch
if [ "$arch" = win64 ]; then
    template=${TW_TEST_PREFIX64:-}
    if [ -n "$template" ] && [ -f "$template/system.reg" ]; then
        cp -a "$template/." "$prefix/"
    else
        rmdir "$prefix"
        tw_make_prefix "$prefix" win64
    fi
    [ -d "$prefix/drive_c/windows/syswow64" ] || { echo "no 64-bit prefix could be made"; exit 1; }
else
    tw_make_prefix "$prefix"
fi
out=$(mktemp) err=$(mktemp)

# A Finding that names a file of the system folder which is there is false (a 32-bit program
# looking through the redirection would see the 32-bit folder instead).
check_system_folder() {
    local label=$1 bad=0 desc rel
    while IFS=$'\t' read -r _ _ _ desc _; do
        case "$desc" in
            [Cc]:\\[Ww][Ii][Nn][Dd][Oo][Ww][Ss]\\[Ss][Yy][Ss][Tt][Ee][Mm]32\\*) ;;
            *) continue ;;
        esac
        rel=${desc:20}
        rel=${rel//\\//}
        if [ -n "$(find "$prefix/drive_c/windows/system32" -ipath "$prefix/drive_c/windows/system32/$rel" -print -quit 2>/dev/null)" ]; then
            echo "$label: reported missing but present: $desc"
            bad=1
        fi
    done <"$out"
    [ "$bad" -eq 0 ] || exit 1
}

# What a fresh prefix may report, as location and key name: every other row of a fresh system
# is a false alarm. Wine registers "MS Serif" as serife.fon, which neither Wine's font folder
# nor the host has; it registers the WPF font cache service with a program it leaves to the Wine
# Mono package (the tests run without it) and the disabled Lanman server with a library Wine does
# not have. In the 32-bit view of a 64-bit prefix there is no font list of its own.
if [ "$arch" = win64 ]; then
    expected=''
else
    expected='Software\\Microsoft\\Windows\\CurrentVersion\\Fonts	MS Serif'$'\n'
fi
expected+='System\\CurrentControlSet\\Services\\FontCache3.0.0.0	ImagePath
System\\CurrentControlSet\\Services\\LanmanServer\\Parameters	ServiceDll'

# scan LABEL ARGS...: runs one scan and checks what it printed.
scan() {
    local label=$1
    shift
    local rc=0
    tw_env timeout 600 wine "$exe" "$@" --utf8 >"$out" 2>"$err" || rc=$?
    [ "$rc" -eq 0 ] || { echo "$label: exit code $rc; stderr was:"; cat "$err"; exit 1; }
    local status count lines
    status=$(tail -n 1 "$err")
    case "$status" in
        扫描完毕。共检查到：*) ;;
        *) echo "$label: no closing status line; stderr was:"; cat "$err"; exit 1 ;;
    esac
    count=${status#扫描完毕。共检查到：}
    count=${count%% *}
    lines=$(wc -l <"$out")
    [ "$lines" -eq "$count" ] || { echo "$label: status says $count, printed $lines lines"; exit 1; }
    awk -F'\t' 'NF != 5 { print "bad line " NR ": " $0; bad = 1 } END { exit bad }' "$out"
    [ "$arch" != win64 ] || check_system_folder "$label"
    local rows
    rows=$(cut -f2,3 "$out" | LC_ALL=C sort)
    [ "$rows" = "$(LC_ALL=C sort <<<"$expected")" ] ||
        { echo "$label: rows other than a fresh prefix's:"; diff <(LC_ALL=C sort <<<"$expected") <(echo "$rows"); exit 1; }
    echo "$label: $count findings; $status"
}

# major: the major version the scanner reports for the running system.
major() { wine "$exe" --version | cut -f3 | cut -d. -f1; }

scan "fresh $arch prefix, usual rows" --rows 5,6,7,8,9
scan "fresh $arch prefix, every row" --all
[ "$arch" = win32 ] || exit 0
for version in win98:4 winxp:5; do
    wine reg add 'HKCU\Software\Wine' /v Version /d "${version%%:*}" /f >/dev/null 2>&1
    wineserver -w
    got=$(major)
    [ "$got" = "${version##*:}" ] || { echo "${version%%:*}: major version $got"; exit 1; }
    scan "${version%%:*}, every row" --all
done
