#!/usr/bin/env bash
# scripts/sweep.sh over scratch prefixes of a scratch home: a 32-bit one found as ~/.wine, a
# 64-bit one given on the command line under a name holding a line break, a folder that is no
# prefix, prefixes Wine would update (an older Wine's timestamp, no timestamp at all) and one
# whose Wine server a program keeps running: these three are listed and never started. Report
# only first, then --repair: the table's rows and counts, and the planted fonts gone only after
# --repair. Then what is never a prefix's fault: unreadable prefixes, every prefix needing an
# update, a row number that does not exist.
#   sweep_prefixes.sh TARNWELL_SCAN.exe
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
scan=$1
. "$root/scripts/wine-env.sh"
work=$(mktemp -d /tmp/tw-sweep-XXXXXX)
home=$work/home p32=$work/home/.wine p64=$work/p64$'\n'x none=$work/none
old=$home/.wine-old nostamp=$home/.wine-nostamp busy=$home/.wine-busy
trap 'for p in "$p32" "$p64" "$busy"; do WINEPREFIX=$p wineserver -k 2>/dev/null || true; done
      chmod -R u+rwx "$work" 2>/dev/null; rm -rf "$work"' EXIT
mkdir -p "$home" "$none"
export XDG_DATA_HOME=$home/.local/share XDG_CONFIG_HOME=$home/.config
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
# Prefixes the sweep must never start anything in share the 32-bit prefix's files, all but the
# registry files and the timestamp, which Wine's server and its update write in place.
for p in "$old" "$nostamp" "$busy"; do
    cp -al "$p32" "$p"
    rm "$p"/*.reg "$p/.update-timestamp"
    cp "$p32"/*.reg "$p/"
done
echo 1600000000 >"$old/.update-timestamp"
cp "$p32/.update-timestamp" "$busy/.update-timestamp"
WINEPREFIX=$busy wineserver -p
untouched() {  # PREFIX...: nothing was started in them
    for p in "$@"; do
        [ ! -e "$p/drive_c/Program Files/Tarnwell" ] && cmp -s "$p/system.reg" "$work/system.reg" || return 1
    done
}
cp "$p32/system.reg" "$work/system.reg"

fail() { echo "$*"; echo "$table"; exit 1; }
# sweep ARGS...: the table (or document) in $table, the exit status in $rc; a sweep that waits
# for ever fails the test instead of hanging it.
sweep() {
    rc=0
    table=$(HOME=${sweep_home:-$home} timeout 300 bash "$root/scripts/sweep.sh" --exe "$scan" "$@") || rc=$?
    [ "$rc" -ne 124 ] || fail "the sweep $* did not end"
}
# field PREFIX N: field N of that prefix's table line (arch state r6 r12 repaired failed prefix;
# the prefix written escaped, as the scanner writes its fields).
field() {
    local shown=${1//$'\n'/\\n}
    P=$shown awk -v n="$2" '$NF == ENVIRON["P"] { sub(/needs update/, "needs-update"); sub(/not a prefix/, "not-a-prefix"); sub(/in use/, "in-use"); sub(/cannot open/, "cannot-open"); print $n }' <<<"$table"
}

# Report only. Row 12 (Wine's desktop leftovers) is the last row in a prefix without the system
# file checker: it is scanned and counted all the same.
sweep --rows 6,12 "$p64" "$none"
[ "$rc" -eq 1 ] || fail "report: exit status $rc (a folder that is no prefix was given)"
[ "$(grep -c . <<<"$table")" -eq 9 ] || fail "report: not a header, six prefixes and two row legends"
[ "$(head -n 1 <<<"$table" | awk '{ print $3, $4 }')" = "r6 r12" ] || fail "report: the columns are not rows 6 and 12"
[ "$(field "$p32" 1) $(field "$p32" 2) $(field "$p32" 5)" = "win32 ok -" ] || fail "32-bit prefix line"
[ "$(field "$p64" 1) $(field "$p64" 2) $(field "$p64" 5)" = "win64 ok -" ] || fail "64-bit prefix line"
[ "$(field "$none" 2) $(field "$none" 3)" = "not-a-prefix -" ] || fail "no-prefix line"
[ "$(field "$old" 1) $(field "$old" 2) $(field "$old" 3)" = "win32 needs-update -" ] || fail "old prefix line"
[ "$(field "$nostamp" 2) $(field "$nostamp" 3)" = "needs-update -" ] || fail "prefix without a timestamp"
[ "$(field "$busy" 2) $(field "$busy" 3)" = "in-use -" ] || fail "prefix whose server runs"
[[ "$(field "$p32" 4) $(field "$p64" 4)" =~ ^[0-9]+\ [0-9]+$ ]] || fail "row 12 was not counted"
found32=$(field "$p32" 3) found64=$(field "$p64" 3)
[ "$found32" -ge 1 ] && [ "$found64" -ge 1 ] || fail "the planted fonts were not counted"
planted "$p32" && planted "$p64" || fail "a report-only sweep deleted something"

# Repair, as one JSON document; each prefix keeps its own undo file, in its own program folder.
sweep --repair --rows 6 --json "$p64" "$none"
[ "$rc" -eq 1 ] || fail "repair: exit status $rc"
printf '%s' "$table" >"$work/sweep.json"
python3 - "$p32" "$p64" "$found32" "$found64" "$work/undo" "$work/sweep.json" <<'PY' || fail "repair: the document"
import json, sys
doc = json.load(open(sys.argv[6]))
by = {p["path"]: p for p in doc["prefixes"]}
undo = []
for path, found, folder in ((sys.argv[1], sys.argv[3], "Program Files"), (sys.argv[2], sys.argv[4], "Program Files (x86)")):
    p = by[path]
    assert (p["state"], p["repaired"], p["failed"]) == ("ok", int(found), 0), p
    assert [r["row"] for r in p["rows"]] == [6] and p["rows"][0]["caption"], p
    assert len(p["undo_files"]) == 1 and p["undo_files"][0].startswith(path + "/drive_c/" + folder + "/Tarnwell/Undo/"), p
    undo += p["undo_files"]
open(sys.argv[5], "w").write("\0".join(undo))
PY
planted "$p32" && fail "the 32-bit prefix's font is still there"
planted "$p64" && fail "the 64-bit prefix's font is still there"
while IFS= read -r -d '' f; do [ -f "$f" ] || fail "no undo file $f"; done < <(cat "$work/undo"; printf '\0')
# The prefixes that need an update or are in use were not started, let alone changed.
untouched "$old" "$nostamp" "$busy" && [ "$(cat "$old/.update-timestamp")" = 1600000000 ] &&
    [ ! -e "$nostamp/.update-timestamp" ] || fail "a prefix that needs an update or is in use was touched"

# A row that does not exist is the caller's mistake, not the prefix's.
sweep_home=$work/none sweep --rows 99 "$p64"
[ "$rc" -eq 2 ] && [ -z "$table" ] || fail "--rows 99: exit status $rc"

# Nothing scanned: every prefix needs an update.
sweep_home=$work/none sweep "$old" "$nostamp"
[ "$rc" -eq 1 ] || fail "only prefixes that need an update: exit status $rc"
untouched "$old" "$nostamp" || fail "a prefix that needs an update was touched"

# Prefixes the user cannot read, found and given, as a user without root's override sees them.
locked=$work/locked-home/.local/share/wineprefixes/locked given=$work/given-locked
mkdir -p "$locked" "$given"
chmod 000 "$locked" "$given"
as_user=(bash)  # capsh runs bash with what follows its "--"
[ "$(id -u)" != 0 ] || as_user=(capsh --drop=cap_dac_override,cap_dac_read_search --)
rc=0
table=$(HOME=$work/locked-home timeout 300 "${as_user[@]}" -c \
        'exec bash "$0" --exe "$1" --rows 6 "$2"' "$root/scripts/sweep.sh" "$scan" "$given") || rc=$?
[ "$rc" -eq 1 ] || fail "unreadable prefixes: exit status $rc"
[ "$(field "$locked" 2) $(field "$given" 2)" = "cannot-open cannot-open" ] || fail "unreadable prefixes"
echo "sweep over scratch prefixes: ok"
