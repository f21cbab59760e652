#!/usr/bin/env bash
# The console scanner on a freshly made 32-bit prefix: it must finish, exit 0, print its
# Findings as five tab-separated fields a line, and close with the status line on stderr.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
exe=${1:-$root/build/tarnwell-scan.exe}
. "$root/scripts/wine-env.sh"
prefix=$(mktemp -d /tmp/tw-fresh-XXXXXX)
trap 'WINEPREFIX=$prefix wineserver -k 2>/dev/null || true; rm -rf "$prefix"' EXIT
export WINEPREFIX=$prefix
tw_make_prefix "$prefix"
out=$(mktemp) err=$(mktemp)
timeout 600 wine "$exe" --rows 5,6,7,8,9 --utf8 >"$out" 2>"$err"
status=$(tail -n 1 "$err")
case "$status" in
    扫描完毕。共检查到：*) ;;
    *) echo "no closing status line; stderr was:"; cat "$err"; exit 1 ;;
esac
count=${status#扫描完毕。共检查到：}
count=${count%% *}
lines=$(wc -l <"$out")
[ "$lines" -eq "$count" ] || { echo "status says $count, printed $lines lines"; exit 1; }
awk -F'\t' 'NF != 5 { print "bad line " NR ": " $0; bad = 1 } END { exit bad }' "$out"
echo "fresh prefix: $count findings; $status"
