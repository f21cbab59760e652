#!/usr/bin/env bash
# scripts/sweep.sh over scratch prefixes of a scratch home: a 32-bit one found as ~/.wine, a
# 64-bit one and a folder that is no prefix given on the command line, and a prefix that an
# older Wine made (it must be listed as "needs update" and left alone). Report only first, then
# --repair: the table's rows and counts, and the planted fonts gone only after --repair.
#   sweep_prefixes.sh TARNWELL_SCAN.exe
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
scan=$1
. "$root/scripts/wine-env.sh"
work=$(mktemp -d /tmp/tw-sweep-XXXXXX)
home=$work/home p32=$work/home/.wine p64=$work/p64 old=$work/home/.wine-old none=$work/none
trap 'for p in "$p32" "$p64"; do WINEPREFIX=$p wineserver -k 2>/dev/null || true; done; rm -rf "$work"' EXIT
mkdir -p "$home" "$none"
copy() {  # TEMPLATE ARCH DEST
    if [ -n "$1" ] && [ -f "$1/system.reg" ]; then cp -a "$1" "$3"; else tw_make_prefix "$3" "$2"; fi
}
copy "${TW_TEST_PREFIX:-}" win32 "$p32"
copy "${TW_TEST_PREFIX64:-}" win64 "$p64"
font='Tw Sweep Gone (TrueType)'
plant() {  # PREFIX: a font value whose file is missing
    env -u WINEARCH WINEPREFIX="$1" LANG="$TW_LOCALE" LC_ALL="$TW_LOCALE" \
        wine reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion\Fonts' /v "$font" /d twsweepgone.ttf /f \
        >/dev/null 2>&1
    env WINEPREFIX="$1" wineserver -w
}
planted() { grep -q 'Tw Sweep Gone' "$1/system.reg"; }
for p in "$p32" "$p64"; do plant "$p"; done
cp -a "$p32" "$old"
echo 1600000000 >"$old/.update-timestamp"
old_reg=$(md5sum <"$old/system.reg")

fail() { echo "$*"; echo "$table"; exit 1; }
# sweep ARGS...: the table in $table, the exit status in $rc.
sweep() { rc=0; table=$(HOME=$home bash "$root/scripts/sweep.sh" --exe "$scan" --rows 6 "$@" "$p64" "$none") || rc=$?; }
# field PREFIX N: field N of that prefix's table line (arch state r6 repaired failed prefix).
field() { awk -v p="$1" -v n="$2" '$NF == p { sub(/needs update/, "needs-update"); sub(/not a prefix/, "not-a-prefix"); print $n }' <<<"$table"; }

sweep
[ "$rc" -eq 1 ] || fail "report: exit status $rc (a folder that is no prefix was given)"
[ "$(grep -c . <<<"$table")" -eq 6 ] || fail "report: not a header, four prefixes and one row legend"
[ "$(field "$p32" 1) $(field "$p32" 2) $(field "$p32" 4)" = "win32 ok -" ] || fail "32-bit prefix line"
[ "$(field "$p64" 1) $(field "$p64" 2) $(field "$p64" 4)" = "win64 ok -" ] || fail "64-bit prefix line"
[ "$(field "$none" 2) $(field "$none" 3)" = "not-a-prefix -" ] || fail "no-prefix line"
[ "$(field "$old" 1) $(field "$old" 2) $(field "$old" 3)" = "win32 needs-update -" ] || fail "old prefix line"
found32=$(field "$p32" 3) found64=$(field "$p64" 3)
[ "$found32" -ge 1 ] && [ "$found64" -ge 1 ] || fail "the planted fonts were not counted"
planted "$p32" && planted "$p64" || fail "a report-only sweep deleted something"

sweep --repair
[ "$rc" -eq 1 ] || fail "repair: exit status $rc"
[ "$(field "$p32" 4) $(field "$p32" 5)" = "$found32 0" ] || fail "32-bit prefix: not every Finding repaired"
[ "$(field "$p64" 4) $(field "$p64" 5)" = "$found64 0" ] || fail "64-bit prefix: not every Finding repaired"
planted "$p32" && fail "the 32-bit prefix's font is still there"
planted "$p64" && fail "the 64-bit prefix's font is still there"
# Each prefix keeps its own undo file, in its own program folder.
ls "$p32/drive_c/Program Files/Tarnwell/Undo/"*.reg >/dev/null || fail "no undo file in the 32-bit prefix"
ls "$p64/drive_c/Program Files (x86)/Tarnwell/Undo/"*.reg >/dev/null || fail "no undo file in the 64-bit prefix"
# The prefix that needs an update was not started, let alone changed.
[ "$(md5sum <"$old/system.reg")" = "$old_reg" ] && [ "$(cat "$old/.update-timestamp")" = 1600000000 ] &&
    [ ! -e "$old/drive_c/Program Files/Tarnwell" ] || fail "the prefix that needs an update was touched"
echo "sweep over scratch prefixes: ok"
