#!/usr/bin/env bash
# The console scanner on a freshly made 32-bit prefix: it must finish, exit 0, print its
# Findings as five tab-separated fields a line, and close with the status line on stderr.
# It runs the usual rows, then every row, on the fresh prefix as Wine boots it and with Wine
# reporting a system of the 98 family (major version 4) and of the 2000/XP family (5).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
exe=${1:-$root/build/tarnwell-scan.exe}
. "$root/scripts/wine-env.sh"
prefix=$(mktemp -d /tmp/tw-fresh-XXXXXX)
trap 'WINEPREFIX=$prefix wineserver -k 2>/dev/null || true; rm -rf "$prefix"' EXIT
export WINEPREFIX=$prefix
tw_make_prefix "$prefix"
out=$(mktemp) err=$(mktemp)

# scan LABEL ARGS...: runs one scan and checks what it printed.
scan() {
    local label=$1
    shift
    local rc=0
    timeout 600 wine "$exe" "$@" --utf8 >"$out" 2>"$err" || rc=$?
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
    echo "$label: $count findings; $status"
}

# major: the major version the scanner reports for the running system.
major() { wine "$exe" --version | cut -f3 | cut -d. -f1; }

scan "fresh prefix, usual rows" --rows 5,6,7,8,9
scan "fresh prefix, every row" --all
for version in win98:4 winxp:5; do
    wine reg add 'HKCU\Software\Wine' /v Version /d "${version%%:*}" /f >/dev/null 2>&1
    wineserver -w
    got=$(major)
    [ "$got" = "${version##*:}" ] || { echo "${version%%:*}: major version $got"; exit 1; }
    scan "${version%%:*}, every row" --all
done
