#!/usr/bin/env bash
# Scans (and with --repair repairs) every Wine prefix of the user with the console scanner, one
# prefix after the other, each with its own settings, and prints one summary table.
#
#   scripts/sweep.sh [--repair] [--update-prefixes] [--rows LIST] [--exe FILE] [PREFIX...]
#
# Prefixes are folders holding system.reg and drive_c: ~/.wine, ~/.wine*,
# ~/.local/share/wineprefixes/*, the prefix folders of the common front ends, and every PREFIX
# given (a given folder that is no prefix is listed as such). The scanner is copied into each
# prefix's program folder (C:\Program Files\Tarnwell, or C:\Program Files (x86)\Tarnwell in a
# 64-bit prefix) and run there, so that it reads that prefix's ignore list and its undo files
# and repair log stay in that prefix.
#
# Wine updates a prefix that another Wine version made (or last updated) when it starts a session
# in it: wineboot compares the number in the prefix's .update-timestamp with the modification
# time of its wine.inf, and a missing file or another number means "update" ("disable" turns the
# update off). Such prefixes are listed as "needs update" and left alone unless
# --update-prefixes is given. The scanner runs with wineboot switched off for the run, so that
# starting it runs none of the prefix's own programs (services, RunOnce and RunServices entries,
# which Wine's session start would run); only the scanner and the registry editor it starts for
# an undo record's check or a backup run. With --update-prefixes, Wine's own update runs first
# (wineboot --init --update, which starts what Wine's session start always starts).
#
# Each category (checklist row) is scanned on its own, so the table can count Findings per row;
# the system file check (the last row) is never run. Exit status: 0 every prefix scanned (and
# with --repair everything repaired), 1 otherwise, 2 usage.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

repair=0 update=0 rows= exe=$root/build/tarnwell-scan.exe
given=()
while [ $# -gt 0 ]; do
    case $1 in
        --repair) repair=1 ;;
        --update-prefixes) update=1 ;;
        --rows) [ $# -ge 2 ] || { echo "--rows needs a list" >&2; exit 2; }; rows=$2; shift ;;
        --rows=*) rows=${1#--rows=} ;;
        --exe) [ $# -ge 2 ] || { echo "--exe needs a file" >&2; exit 2; }; exe=$2; shift ;;
        -h|--help) sed -n '2,/^set -uo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
        -*) echo "unknown option $1 (see --help)" >&2; exit 2 ;;
        *) given+=("$1") ;;
    esac
    shift
done
[ -f "$exe" ] || { echo "no scanner at $exe (build it with scripts/build.sh)" >&2; exit 2; }

# The program's locale, given to the Wine processes only; never a forced architecture: Wine
# takes it from the prefix itself, and a 64-bit prefix opened as win32 fails.
unset WINEARCH
export WINEDEBUG=${WINEDEBUG:--all}
locale=${TW_LOCALE:-zh_CN.UTF-8}
# No installer prompts, no host menu entries; wineboot off unless the update is wanted.
base_overrides=${WINEDLLOVERRIDES:-"mscoree,mshtml=;winemenubuilder.exe=d"}
quiet_overrides="$base_overrides;wineboot.exe=d"

is_prefix() { [ -f "$1/system.reg" ] && [ -d "$1/drive_c" ]; }

# The wine.inf of the Wine that runs here: $TW_WINE_INF, else the data folder beside the loader.
wine_inf() {
    if [ -n "${TW_WINE_INF:-}" ]; then echo "$TW_WINE_INF"; return; fi
    local loader dir
    loader=$(readlink -f "$(command -v wine 2>/dev/null)" 2>/dev/null) || loader=
    for dir in "${loader%/*}/../share/wine" /usr/share/wine /usr/local/share/wine /opt/wine*/share/wine; do
        if [ -f "$dir/wine.inf" ]; then echo "$dir/wine.inf"; return; fi
    done
}
inf=$(wine_inf)

# needs_update PREFIX: 0 when Wine would update it at its next session start, 1 when not, 2
# when that cannot be told (no wine.inf found).
needs_update() {
    local stamp
    [ -n "$inf" ] || return 2
    stamp=$(head -c 99 "$1/.update-timestamp" 2>/dev/null) || return 0
    case $stamp in disable*) return 1 ;; esac
    stamp=${stamp%%[!0-9]*}
    [ "$stamp" = "$(stat -c %Y "$inf")" ] && return 1
    return 0
}

arch_of() {
    local a
    a=$(grep -m1 -a '^#arch=' "$1/system.reg" 2>/dev/null | tr -d '\r')
    a=${a#\#arch=}
    echo "${a:-?}"
}

# The candidates, in a fixed order, each once.
candidates=()
add() { local p; p=$(cd "$1" 2>/dev/null && pwd -P) || p=$1; for c in "${candidates[@]:+${candidates[@]}}"; do [ "$c" = "$p" ] && return; done; candidates+=("$p"); }
for d in "$HOME"/.wine "$HOME"/.wine* "$HOME"/.local/share/wineprefixes/* "$HOME"/.PlayOnLinux/wineprefix/* \
         "$HOME"/.local/share/bottles/bottles/* "$HOME"/.var/app/com.usebottles.bottles/data/bottles/bottles/* \
         "$HOME"/.cxoffice/* "$HOME"/Games/* "$HOME"/.local/share/lutris/runners/wine/prefixes/* \
         "$HOME"/.steam/steam/steamapps/compatdata/*/pfx; do
    is_prefix "$d" && add "$d"
done
for d in "${given[@]:+${given[@]}}"; do add "$d"; done
[ ${#candidates[@]} -gt 0 ] || { echo "no Wine prefix found"; exit 0; }

# What each candidate is, before anything runs: "ok", "not a prefix", "needs update" (or
# "update unknown" when no wine.inf tells), with the prefix's architecture.
states=() arches=()
for p in "${candidates[@]}"; do
    if ! is_prefix "$p"; then states+=("not a prefix"); arches+=(-); continue; fi
    arches+=("$(arch_of "$p")")
    needs_update "$p"
    case $? in
        0) states+=("needs update") ;;
        2) states+=("update unknown") ;;
        *) states+=(ok) ;;
    esac
done

run_wine() {  # PREFIX OVERRIDES ARGS...: wine in that prefix, with the program's locale
    local p=$1 o=$2
    shift 2
    env LANG="$locale" LC_ALL="$locale" WINEPREFIX="$p" WINEDLLOVERRIDES="$o" wine "$@"
}

# The rows to scan: the given ones, else those the scanner ticks by default (asked of the first
# prefix that is scanned); never the last row, the system file check, which starts the system's
# checker.
listing= scan_rows=() rows_known=0 reason=
[ -z "$rows" ] || IFS=, read -r -a scan_rows <<<"$rows"
decide_rows() {  # PREFIX
    [ "$rows_known" -eq 0 ] || return 0
    local err last r all=()
    err=$(mktemp)
    listing=$(run_wine "$1" "$quiet_overrides" "$exe" --list-rows --utf8 2>"$err" | tr -d '\r')
    reason=$(grep -a -v '^\s*$' "$err" | head -n 1)
    rm -f "$err"
    [ -n "$listing" ] || return 1
    last=$(printf '%s\n' "$listing" | tail -n 1 | cut -f1)
    if [ -n "$rows" ]; then
        all=("${scan_rows[@]}")
    else
        mapfile -t all < <(printf '%s\n' "$listing" | awk -F'\t' '$2 == "x" { print $1 }')
    fi
    scan_rows=()
    for r in "${all[@]:+${all[@]}}"; do [ "$r" = "$last" ] || scan_rows+=("$r"); done
    rows_known=1
}

status=0
table=()
# row ARCH STATE REPAIRED FAILED PREFIX [COUNT...]: one line of the table, formatted at the end
# (the number of row columns is known once a prefix has been scanned).
row() { local IFS=$'\t'; table+=("$*"); }

for i in "${!candidates[@]}"; do
    p=${candidates[$i]} arch=${arches[$i]} state=${states[$i]}
    if [ "$state" = "not a prefix" ]; then
        row - "$state" - - "$p"
        status=1
        continue
    fi
    if [ "$state" != ok ]; then
        if [ "$update" -eq 0 ]; then row "$arch" "$state" - - "$p"; continue; fi
        # Wine's own update, asked for: the session start it makes for wineboot does it.
        run_wine "$p" "$base_overrides" wineboot --init --update >/dev/null 2>&1
        env WINEPREFIX="$p" wineserver -w 2>/dev/null
        state=updated
    fi
    if [ "$arch" = win64 ]; then folder='Program Files (x86)/Tarnwell'; else folder='Program Files/Tarnwell'; fi
    if ! { mkdir -p "$p/drive_c/$folder" && { cmp -s "$exe" "$p/drive_c/$folder/tarnwell-scan.exe" ||
                                              cp "$exe" "$p/drive_c/$folder/tarnwell-scan.exe"; }; } 2>/dev/null; then
        row "$arch" "cannot write" - - "$p"
        status=1
        continue
    fi
    winexe="C:\\${folder//\//\\}\\tarnwell-scan.exe"
    if ! decide_rows "$p"; then
        row "$arch" "cannot open" - - "$p"
        [ -z "$reason" ] || echo "$p: $reason" >&2
        status=1
        continue
    fi
    err=$(mktemp)
    counts=() repaired=0 failed=0 opened=1
    for r in "${scan_rows[@]:+${scan_rows[@]}}"; do
        args=(--rows "$r" --utf8)
        [ "$repair" -eq 1 ] && args+=(--repair)
        out=$(timeout 900 env LANG="$locale" LC_ALL="$locale" WINEPREFIX="$p" WINEDLLOVERRIDES="$quiet_overrides" \
              wine "$winexe" "${args[@]}" 2>"$err")
        rc=$?
        # 0 and 1 are the scanner's answers after a whole scan; anything else (Wine could not
        # open the prefix, the scanner could not run) leaves the prefix unscanned.
        if [ "$rc" -gt 1 ] || ! grep -q '扫描完毕' "$err"; then
            opened=0
            reason=$(grep -a -v '^\s*$' "$err" | head -n 1)
            break
        fi
        counts+=("$(printf '%s' "$out" | grep -c .)")
        if [ "$repair" -eq 1 ]; then
            repaired=$((repaired + $(printf '%s\n' "$out" | awk -F'\t' '$6 == "repaired" || $6 == "already-gone" { n++ } END { print n + 0 }')))
            failed=$((failed + $(printf '%s\n' "$out" | awk -F'\t' '$6 == "failed" || $6 == "not-recorded" || $6 == "not-run" { n++ } END { print n + 0 }')))
        fi
    done
    rm -f "$err"
    env WINEPREFIX="$p" wineserver -w 2>/dev/null
    if [ "$opened" -eq 0 ]; then
        row "$arch" "cannot open" - - "$p"
        [ -z "$reason" ] || echo "$p: $reason" >&2
        status=1
        continue
    fi
    if [ "$repair" -eq 1 ]; then
        row "$arch" "$state" "$repaired" "$failed" "$p" "${counts[@]}"
        [ "$failed" -eq 0 ] || status=1
    else
        row "$arch" "$state" - - "$p" "${counts[@]}"
    fi
done

header=$(printf '%-6s %-14s' arch state)
for r in "${scan_rows[@]:+${scan_rows[@]}}"; do header+=$(printf ' %4s' "r$r"); done
echo "$header$(printf ' %8s %6s  %s' repaired failed prefix)"
for entry in "${table[@]}"; do
    IFS=$'\t' read -r -a f <<<"$entry"
    line=$(printf '%-6s %-14s' "${f[0]}" "${f[1]}")
    for ((j = 0; j < ${#scan_rows[@]}; ++j)); do line+=$(printf ' %4s' "${f[5 + j]:--}"); done
    echo "$line$(printf ' %8s %6s  %s' "${f[2]}" "${f[3]}" "${f[4]}")"
done
# What the row numbers stand for.
for r in "${scan_rows[@]:+${scan_rows[@]}}"; do
    printf '%s\n' "$listing" | awk -F'\t' -v r="$r" '$1 == r { print "r" r ": " $3 }'
done
exit $status
