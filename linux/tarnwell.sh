#!/bin/bash
# Tarnwell's commands on Linux: the window, the console scanner and the sweep over every Wine
# prefix of the user, each run under Wine with the program's locale. The Debian package installs
# this file beside the program in /usr/lib/tarnwell and links the commands tarnwell,
# tarnwell-scan and tarnwell-sweep to it; in a checkout scripts/run.sh, scan.sh and sweep.sh run
# it with the program in build/.
#
#   tarnwell.sh window|scan|sweep [ARGS...]    (or through a link named after the command)
#
# The program keeps its settings, ignore list, undo files and repair log beside itself, so it is
# copied into the prefix's own program folder (C:\Program Files\Tarnwell, in a 64-bit prefix
# C:\Program Files (x86)\Tarnwell) and run from there: each prefix keeps its own, and the window,
# the scanner and the sweep of one prefix share them.
set -uo pipefail

here=$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")
# The program's files: beside this file when installed, in the build folder of a checkout.
if [ -n "${TW_PROGRAM_DIR:-}" ]; then program_dir=$TW_PROGRAM_DIR
elif [ -f "$here/tarnwell-scan.exe" ]; then program_dir=$here
else program_dir=$(cd "$here/.." && pwd)/build
fi

tw_version() {
    local v=@TW_VERSION@  # filled in by the package
    case $v in @*) v=$(sed -n 's/^#define TW_VERSION_STR "\(.*\)"$/\1/p' "$here/../res/version.h" 2>/dev/null) ;; esac
    echo "${v:-unknown}"
}

# The program's locale, given to the Wine processes only (Wine takes its ANSI code page, 936,
# from the name even where the C library has no such locale); never a forced architecture: Wine
# takes it from the prefix, and a 64-bit prefix opened as win32 fails.
unset WINEARCH
export WINEDEBUG=${WINEDEBUG:--all}
tw_locale=${TW_LOCALE:-zh_CN.UTF-8}
# No installer prompts, no host menu entries; "quiet" also keeps wineboot off, so that starting
# the scanner runs none of the prefix's own programs (services, RunOnce and RunServices entries,
# which Wine's session start would run): only the scanner and the registry editor it starts for a
# backup or an undo.
base_overrides=${WINEDLLOVERRIDES:-"mscoree,mshtml=;winemenubuilder.exe=d"}
quiet_overrides="$base_overrides;wineboot.exe=d"

run_wine() {  # PREFIX OVERRIDES ARGS...: wine in that prefix, with the program's locale
    local p=$1 o=$2
    shift 2
    env LANG="$tw_locale" LC_ALL="$tw_locale" WINEPREFIX="$p" WINEDLLOVERRIDES="$o" wine "$@"
}

say() { printf '%s: %s\n' "$command" "$*" >&2; }

# Why a command stops. Started from the menu, the window's command has no terminal to say it on:
# then a message box of the desktop's (the first one found) says it too.
complain() {
    say "$@"
    [ "$command" = tarnwell ] && [ ! -t 2 ] && [ -n "${DISPLAY:-}" ] || return 0
    if command -v zenity >/dev/null; then zenity --error --no-markup --title=Tarnwell --text="$*"
    elif command -v kdialog >/dev/null; then kdialog --title Tarnwell --error "$*"
    elif command -v xmessage >/dev/null; then printf 'Tarnwell: %s\n' "$*" | fold -s -w 76 | xmessage -center -file -
    fi >/dev/null 2>&1
}

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

# needs_update PREFIX: 0 when Wine would update it at its next session start, 1 when not, 2 when
# that cannot be told (no wine.inf found). Wine's wineboot compares the number in the prefix's
# .update-timestamp with the modification time of its wine.inf: a missing file or another
# number means "update", a file starting with "disable" turns the update off.
needs_update() {
    local stamp inf
    inf=$(wine_inf)
    [ -n "$inf" ] || return 2
    stamp=$(head -c 99 "$1/.update-timestamp" 2>/dev/null) || return 0
    case $stamp in disable*) return 1 ;; esac
    stamp=${stamp%%[!0-9]*}
    [ "$stamp" = "$(stat -c %Y "$inf")" ] && return 1
    return 0
}

# The architecture from the "#arch=" line of the prefix's system.reg ("?" when it has none).
arch_of() {
    local a
    a=$(grep -m1 -a '^#arch=' "$1/system.reg" 2>/dev/null | tr -d '\r')
    a=${a#\#arch=}
    echo "${a:-?}"
}

# in_use PREFIX: true when a Wine server runs for the prefix (a program of it is open, or its
# server lingers). Wine's server works in a folder named after the prefix's device and inode,
# "server-<dev>-<inode>" in hexadecimal; only a running server has it as its working folder.
in_use() {
    local id name servers
    id=$(stat -L -c '%d %i' "$1" 2>/dev/null) || return 1
    # shellcheck disable=SC2086
    name=$(printf 'server-%x-%x' $id)
    servers=$(find /proc/[0-9]*/cwd -maxdepth 0 -printf '%l\n' 2>/dev/null)
    grep -qx ".*/$name" <<<"$servers"
}

# Waits for the prefix's Wine server to end, at most LIMIT seconds: a program that another
# session started there may keep it running for hours.
wait_server() {  # PREFIX LIMIT
    env WINEPREFIX="$1" timeout "$2" wineserver -w 2>/dev/null
}

# Makes a 32-bit prefix at $1, as Wine does for "wineboot -i".
make_prefix() {
    mkdir -p "$(dirname "$1")"
    env LANG="$tw_locale" LC_ALL="$tw_locale" WINEPREFIX="$1" WINEARCH=win32 WINEDLLOVERRIDES="$base_overrides" \
        wineboot -i >/dev/null 2>&1
    wait_server "$1" 300
}

# The prefix's program folder, relative to drive_c.
program_folder() {
    if [ "$(arch_of "$1")" = win64 ]; then echo 'Program Files (x86)/Tarnwell'; else echo 'Program Files/Tarnwell'; fi
}

# install_program PREFIX FILE...: copies the program's files (from $program_dir, or a path) into
# the prefix's program folder where they differ; sets $winexe to the first one's Windows path.
install_program() {
    local p=$1 folder f src
    shift
    folder=$(program_folder "$p")
    mkdir -p "$p/drive_c/$folder" 2>/dev/null || return 1
    for f in "$@"; do
        case $f in */*) src=$f ;; *) src=$program_dir/$f ;; esac
        # Copied beside, then renamed: a Tarnwell already running there keeps its own file.
        cmp -s "$src" "$p/drive_c/$folder/${f##*/}" ||
            { cp "$src" "$p/drive_c/$folder/.${f##*/}.new" 2>/dev/null &&
              mv -f "$p/drive_c/$folder/.${f##*/}.new" "$p/drive_c/$folder/${f##*/}"; } || return 1
    done
    winexe="C:\\${folder//\//\\}\\${1##*/}"
}

# install_pages PREFIX: the guide's pages (help/zh and help/en beside the program) into the
# prefix's program folder where they differ: the program shows them in the desktop's browser
# where Wine's help window cannot.
install_pages() {
    local p=$1 folder f rel
    folder=$(program_folder "$p")
    for f in "$program_dir"/help/zh/* "$program_dir"/help/en/*; do
        [ -f "$f" ] || continue
        rel=${f#"$program_dir"/}
        cmp -s "$f" "$p/drive_c/$folder/$rel" && continue
        mkdir -p "$p/drive_c/$folder/${rel%/*}" && cp "$f" "$p/drive_c/$folder/$rel" || return 1
    done
}

# data_place_note PREFIX: says where the program in the prefix's program folder keeps its data:
# beside itself, or, where the setup installed it there, in the user's Application Data folder.
data_place_note() {
    local p=$1 folder users
    folder=$(program_folder "$p")
    if [ -f "$p/drive_c/$folder/uninst.exe" ]; then
        users=("$p"/drive_c/users/*/AppData/Roaming)
        say "Tarnwell runs from C:\\${folder//\//\\} (the setup's copy there, now this build) and keeps its data in the"
        say "user's Application Data folder: ${users[0]}/Tarnwell"
    else
        say "Tarnwell runs from C:\\${folder//\//\\} and keeps its data beside itself: $p/drive_c/$folder"
    fi
    say "(the history window and the undo-files window show the folder)"
}

# open_prefix PREFIX: the prefix the window or the scanner runs in: made (32-bit) when missing;
# refused when Wine would update it, since then anything started in it starts the update.
open_prefix() {
    local p=$1
    if ! is_prefix "$p"; then
        say "making a Wine prefix in $p"
        make_prefix "$p"
        is_prefix "$p" || { complain "Wine could not make a prefix in $p"; return 1; }
    fi
    needs_update "$p"
    case $? in
        0) complain "Wine would update the prefix $p (another Wine version made or last updated it) as soon as" \
               "anything starts in it, so Tarnwell starts nothing there. Update it first:" \
               "WINEPREFIX=\"$p\" wineboot --update  (or tarnwell-sweep --update-prefixes \"$p\")"
           return 1 ;;
        2) complain "no wine.inf found: cannot tell whether Wine would update the prefix $p, so Tarnwell" \
               "starts nothing there (TW_WINE_INF names the file)"
           return 1 ;;
    esac
}

# The user's terminal takes UTF-8 (the locale's character set, as the user's environment sets it).
utf8_terminal() { [ "$(locale charmap 2>/dev/null)" = UTF-8 ]; }

# --- tarnwell: the window ----------------------------------------------------------------

cmd_window() {
    case ${1:-} in
        -h|--help)
            cat <<'EOF'
usage: tarnwell [--help | --version]
Starts Tarnwell's window under Wine in $WINEPREFIX (default ~/.wine; a 32-bit prefix is made
when there is none). The program is copied into the prefix's program folder and keeps its
settings, ignore list, undo files and repair log there. Nothing is started in a prefix that Wine
would update (another Wine version made or last updated it). Needs a display (DISPLAY).
See tarnwell(1), tarnwell-scan(1) and tarnwell-sweep(1).
EOF
            return 0 ;;
        --version) echo "tarnwell $(tw_version)"; return 0 ;;
        '') ;;
        *) say "unknown argument $1 (see --help)"; return 2 ;;
    esac
    if [ -z "${DISPLAY:-}" ]; then
        cat >&2 <<'MSG'
Tarnwell is a window program and needs a display, but DISPLAY is not set.
  - On a desktop, run this from a terminal of your graphical session.
  - Over SSH, connect with X forwarding (ssh -X) and run it again.
  - Without any screen, start a virtual one and look at it with a screenshot:
        Xvfb :99 -screen 0 1024x768x24 &  DISPLAY=:99 tarnwell &
        DISPLAY=:99 import -window root shot.png
  - For a scan without a window, use the console scanner: tarnwell-scan (scripts/scan.sh)
MSG
        return 2
    fi
    local prefix=${WINEPREFIX:-$HOME/.wine} winexe
    open_prefix "$prefix" || return 2
    { install_program "$prefix" tarnwell.exe Kivcc.chm Kivcc-en.chm && install_pages "$prefix"; } ||
        { complain "cannot copy the program into $prefix"; return 2; }
    data_place_note "$prefix"
    exec env LANG="$tw_locale" LC_ALL="$tw_locale" WINEPREFIX="$prefix" WINEDLLOVERRIDES="$base_overrides" \
        wine "$winexe"
}

# --- tarnwell-scan: the console scanner ----------------------------------------------------

cmd_scan() {
    local args=() a encoding=auto
    for a in "$@"; do
        case $a in
            -h|--help)
                cat <<'EOF'
usage: tarnwell-scan [--rows LIST] [--all] [--utf8 | --ansi] [--repair [--dry-run] [--backup]]
       tarnwell-scan --undo [FILE] | --list-undo | --list-rows | --version | --help
Runs Tarnwell's scan without a window in $WINEPREFIX (default ~/.wine) and prints one Finding
a line: caption, location, key name, description, image index, tab-separated and escaped.
  --rows LIST   scan the checklist rows in LIST (e.g. 7,8,9); default: the rows ticked at start
  --all         scan every row
  --utf8        write UTF-8 (the default on a UTF-8 terminal)
  --ansi        write the prefix's ANSI code page (GB2312) even on a UTF-8 terminal
  --list-rows   print the checklist rows with their numbers
  --repair      repair every Finding, undo file first; each line gets its outcome
  --dry-run     with --repair: print what would be deleted, delete nothing
  --backup      with --repair: export the whole registry first; no repair if that fails
  --undo [FILE] import the newest undo file (or FILE) and check the registry
  --list-undo   print the undo files: date, keys recorded, size, path
Exit status: 0 done (or nothing found), 1 some not repaired or restored, 2 could not run.
Nothing is started in a prefix that Wine would update. See tarnwell-scan(1).
EOF
                return 0 ;;
            --version) echo "tarnwell-scan $(tw_version)"; return 0 ;;
            --utf8) encoding=utf8 ;;
            --ansi) encoding=ansi; continue ;;
        esac
        args+=("$a")
    done
    if [ "$encoding" = auto ] && utf8_terminal; then args+=(--utf8); fi
    local prefix=${WINEPREFIX:-$HOME/.wine} winexe
    open_prefix "$prefix" || return 2
    install_program "$prefix" tarnwell-scan.exe || { say "cannot copy the scanner into $prefix"; return 2; }
    # The scanner's exit status is the command's.
    exec env LANG="$tw_locale" LC_ALL="$tw_locale" WINEPREFIX="$prefix" WINEDLLOVERRIDES="$quiet_overrides" \
        wine "$winexe" "${args[@]}"
}

# --- tarnwell-sweep: every prefix of the user ------------------------------------------------

# The system file check's row, known by its caption: it starts the system's checker and is never
# run by the sweep.
system_file_row_caption='受保护的系统文件'

# A field of the table as the scanner writes its fields: \\ \t \r \n and \xHH for the other
# control characters, so that a prefix is always one line.
escape_field() {
    local LC_ALL=C s=$1 out= c i
    s=${s//\\/\\\\}; s=${s//$'\t'/\\t}; s=${s//$'\r'/\\r}; s=${s//$'\n'/\\n}
    if [[ $s == *[[:cntrl:]]* ]]; then
        for ((i = 0; i < ${#s}; ++i)); do
            c=${s:i:1}
            if [[ $c == [[:cntrl:]] ]]; then printf -v c '\\x%02X' "'$c"; fi
            out+=$c
        done
        s=$out
    fi
    printf '%s' "$s"
}

# A JSON string. Names that are not UTF-8 (a Linux path may hold any bytes) have their bytes
# above 0x7F written as \u00XX, so that the document stays valid.
json_str() {
    local LC_ALL=C s=$1 out= c i
    s=${s//\\/\\\\}; s=${s//\"/\\\"}; s=${s//$'\t'/\\t}; s=${s//$'\r'/\\r}; s=${s//$'\n'/\\n}
    local utf8=1
    if [[ $s == *[$'\x80'-$'\xff']* ]] && ! printf '%s' "$s" | iconv -f UTF-8 -t UTF-8 >/dev/null 2>&1; then utf8=0; fi
    if [[ $s == *[[:cntrl:]]* ]] || [ "$utf8" -eq 0 ]; then
        for ((i = 0; i < ${#s}; ++i)); do
            c=${s:i:1}
            if [[ $c == [[:cntrl:]] ]] || { [ "$utf8" -eq 0 ] && [[ $c == [$'\x80'-$'\xff'] ]]; }; then
                printf -v c '\\u%04x' "'$c"
                # printf gives a negative number for a byte above 0x7F in the C locale.
                case $c in *-*) printf -v c '\\u%04x' $(( $(printf '%d' "'${s:i:1}") & 255 )) ;; esac
            fi
            out+=$c
        done
        s=$out
    fi
    printf '"%s"' "$s"
}

usage_sweep() {
    cat <<'EOF'
usage: tarnwell-sweep [--repair [--dry-run]] [--update-prefixes] [--rows LIST] [--json] [PREFIX...]
Scans (with --repair repairs) every Wine prefix of the user with the console scanner, one after
the other, each with its own settings, and prints one table: architecture, state, Findings per
checklist row, repaired and failed (with --repair), prefix.
Prefixes are folders holding system.reg and drive_c: ~/.wine, ~/.wine*,
~/.local/share/wineprefixes/*, the prefix folders of PlayOnLinux, Bottles, CrossOver, Lutris and
Steam's Proton, and every PREFIX given.
  --rows LIST        the checklist rows to scan (see tarnwell-scan --list-rows); default: the
                     rows ticked at start. The system file check is never run.
  --repair           repair every Finding in each prefix (undo file first, in the prefix)
  --dry-run          with --repair: count what would be repaired, delete nothing
  --update-prefixes  let Wine update prefixes that another Wine version made, then scan them;
                     without it they are listed as "needs update" and nothing starts in them
  --json             print one JSON document instead of the table
A prefix whose Wine server runs (one of its programs is open) is listed as "in use" and left
alone. Exit status: 0 every prefix scanned (and everything repaired), 1 otherwise, 2 bad
arguments. See tarnwell-sweep(1).
EOF
}

cmd_sweep() {
    local repair=0 dry=0 update=0 json=0 rows= exe=$program_dir/tarnwell-scan.exe
    local given=()
    while [ $# -gt 0 ]; do
        case $1 in
            --repair) repair=1 ;;
            --dry-run) dry=1 ;;
            --update-prefixes) update=1 ;;
            --json) json=1 ;;
            --rows) [ $# -ge 2 ] || { say "--rows needs a list"; return 2; }; rows=$2; shift ;;
            --rows=*) rows=${1#--rows=} ;;
            --exe) [ $# -ge 2 ] || { say "--exe needs a file"; return 2; }; exe=$2; shift ;;
            -h|--help) usage_sweep; return 0 ;;
            --version) echo "tarnwell-sweep $(tw_version)"; return 0 ;;
            --) shift; given+=("$@"); break ;;
            -*) say "unknown option $1 (see --help)"; return 2 ;;
            *) given+=("$1") ;;
        esac
        shift
    done
    [ "$dry" -eq 0 ] || [ "$repair" -eq 1 ] || { say "--dry-run goes with --repair"; return 2; }
    [ -z "$rows" ] || [[ $rows =~ ^[0-9]+(,[0-9]+)*$ ]] || { say "--rows: row numbers separated by commas"; return 2; }
    [ -f "$exe" ] || { say "no scanner at $exe (build it with scripts/build.sh)"; return 2; }

    # The candidates, in a fixed order, each once (by their real path). A folder of the places
    # that hold only prefixes which cannot be read is listed ("cannot open"), not passed over.
    local candidates=() d p c
    add() {
        local real
        real=$(cd "$1" 2>/dev/null && pwd -P && echo .) && p=${real%$'\n.'} || p=$1
        for c in "${candidates[@]}"; do [ "$c" = "$p" ] && return; done
        candidates+=("$p")
    }
    unreadable() { [ -d "$1" ] && ! { [ -r "$1" ] && [ -x "$1" ]; }; }
    for d in "$HOME"/.wine "$HOME"/.wine* "$HOME"/.local/share/wineprefixes/* "$HOME"/.PlayOnLinux/wineprefix/* \
             "$HOME"/.local/share/bottles/bottles/* "$HOME"/.var/app/com.usebottles.bottles/data/bottles/bottles/* \
             "$HOME"/.cxoffice/* "$HOME"/.local/share/lutris/runners/wine/prefixes/* \
             "$HOME"/.steam/steam/steamapps/compatdata/*/pfx; do
        if is_prefix "$d" || unreadable "$d"; then add "$d"; fi
    done
    # Lutris' games folder holds other things too: only its prefixes.
    for d in "$HOME"/Games/*; do is_prefix "$d" && add "$d"; done
    for d in "${given[@]}"; do add "$d"; done

    # What each candidate is, before anything runs: "ok", "not a prefix", "cannot open", "in use",
    # "needs update" (or "update unknown" when no wine.inf tells), with its architecture.
    local states=() arches=() i
    for p in "${candidates[@]}"; do
        if unreadable "$p"; then states+=("cannot open"); arches+=(-); continue; fi
        if ! is_prefix "$p"; then states+=("not a prefix"); arches+=(-); continue; fi
        arches+=("$(arch_of "$p")")
        # A server with no program left ends a few seconds after the last one (Wine's own
        # linger, as after a scan just before); one that a program keeps running does not.
        if in_use "$p" && { wait_server "$p" 6; in_use "$p"; }; then states+=("in use"); continue; fi
        needs_update "$p"
        case $? in
            0) states+=("needs update") ;;
            2) states+=("update unknown") ;;
            *) states+=(ok) ;;
        esac
    done

    # The rows to scan: the given ones, else those the scanner ticks by default, as the scanner
    # lists them in the first prefix that is scanned; never the system file check.
    local listing= scan_rows=() rows_known=0 reason=
    decide_rows() {  # PREFIX WINEXE; 1: the scanner did not run, 2: a given row is no row here
        [ "$rows_known" -eq 0 ] || return 0
        local err r all=() sfc
        err=$(mktemp)
        listing=$(run_wine "$1" "$quiet_overrides" "$2" --list-rows --utf8 2>"$err" | tr -d '\r')
        reason=$(grep -a -v '^\s*$' "$err" | head -n 1)
        rm -f "$err"
        [ -n "$listing" ] || return 1
        sfc=$(printf '%s\n' "$listing" | awk -F'\t' -v c="$system_file_row_caption" 'index($3, c) { print $1 }')
        if [ -n "$rows" ]; then
            IFS=, read -r -a all <<<"$rows"
            for r in "${all[@]}"; do
                awk -F'\t' -v r="$((10#$r))" '$1 == r { found = 1 } END { exit !found }' <<<"$listing" || {
                    say "--rows: there is no row $r (rows 0 to $(printf '%s\n' "$listing" | tail -n 1 | cut -f1); see tarnwell-scan --list-rows)"
                    return 2
                }
            done
        else
            mapfile -t all < <(printf '%s\n' "$listing" | awk -F'\t' '$2 == "x" { print $1 }')
        fi
        scan_rows=()
        for r in "${all[@]}"; do
            r=$((10#$r))
            if [ "$r" = "$sfc" ]; then say "row $r, the system file check, is never run by the sweep"; continue; fi
            scan_rows+=("$r")
        done
        rows_known=1
    }
    caption_of() { printf '%s\n' "$listing" | awk -F'\t' -v r="$1" '$1 == r { print $3 }'; }

    local status=0 counts=() undo=() repaired_of=() failed_of=() err out rc r folder
    for i in "${!candidates[@]}"; do
        p=${candidates[$i]}
        counts[i]= repaired_of[i]=- failed_of[i]=- undo[i]=
        case ${states[$i]} in
            ok) ;;
            "needs update"|"update unknown")
                if [ "$update" -eq 0 ]; then status=1; continue; fi
                # Wine's own update, asked for: the session start it makes for wineboot does it.
                run_wine "$p" "$base_overrides" wineboot --init --update >/dev/null 2>&1
                wait_server "$p" 300 || say "$(escape_field "$p"): the Wine server still runs after the update; going on"
                states[i]=updated ;;
            *) status=1; continue ;;
        esac
        if ! install_program "$p" "$exe"; then states[i]="cannot write"; status=1; continue; fi
        decide_rows "$p" "$winexe"
        case $? in
            1) states[i]="cannot open"; status=1
               [ -z "$reason" ] || say "$(escape_field "$p"): $reason"
               wait_server "$p" 20
               continue ;;
            2) wait_server "$p" 20; return 2 ;;
        esac
        err=$(mktemp)
        local row_counts=() repaired=0 failed=0 opened=1 files=()
        for r in "${scan_rows[@]}"; do
            local args=(--rows "$r" --utf8)
            [ "$repair" -eq 0 ] || args+=(--repair)
            [ "$dry" -eq 0 ] || args+=(--dry-run)
            out=$(timeout 900 env LANG="$tw_locale" LC_ALL="$tw_locale" WINEPREFIX="$p" WINEDLLOVERRIDES="$quiet_overrides" \
                  wine "$winexe" "${args[@]}" 2>"$err")
            rc=$?
            # The closing status line says the scan ran; its exit status then says how the
            # repair went. Without it (Wine could not open the prefix, the scanner could not
            # run) the prefix is left unscanned.
            if ! grep -q '扫描完毕' "$err"; then
                opened=0
                reason=$(grep -a -v '^\s*$' "$err" | head -n 1)
                [ "$rc" -ne 124 ] || reason="the scan did not end within 15 minutes"
                break
            fi
            # A Finding is a line; the lines of a dry run's details start with a tab.
            row_counts+=("$(printf '%s\n' "$out" | awk 'length && substr($0, 1, 1) != "\t" { n++ } END { print n + 0 }')")
            if [ "$repair" -eq 1 ]; then
                repaired=$((repaired + $(printf '%s\n' "$out" | awk -F'\t' '$6 ~ /^(repaired|already-gone|would-delete)$/ { n++ } END { print n + 0 }')))
                failed=$((failed + $(printf '%s\n' "$out" | awk -F'\t' '$6 ~ /^(failed|not-recorded|not-run)$/ { n++ } END { print n + 0 }')))
                local file
                file=$(sed -n 's/.*撤销文件：//p' "$err" | tr -d '\r' | tail -n 1)
                [ -z "$file" ] || files+=("$(host_path "$p" "$file")")
            fi
        done
        rm -f "$err"
        wait_server "$p" 20 || say "$(escape_field "$p"): a program keeps the prefix's Wine server running; not waiting for it"
        if [ "$opened" -eq 0 ]; then
            states[i]="cannot open"; status=1
            [ -z "$reason" ] || say "$(escape_field "$p"): $reason"
            continue
        fi
        counts[i]=${row_counts[*]}
        if [ "$repair" -eq 1 ]; then
            repaired_of[i]=$repaired failed_of[i]=$failed
            [ "$failed" -eq 0 ] || status=1
            local f list=
            for f in "${files[@]}"; do list+="${list:+, }$(json_str "$f")"; done
            undo[i]=$list
        fi
    done

    if [ "$json" -eq 1 ]; then
        local first=1 j n
        printf '{\n  "version": %s,\n  "repair": %s,\n  "dry_run": %s,\n  "prefixes": [' "$(json_str "$(tw_version)")" \
            "$([ "$repair" -eq 1 ] && echo true || echo false)" "$([ "$dry" -eq 1 ] && echo true || echo false)"
        for i in "${!candidates[@]}"; do
            [ "$first" -eq 1 ] || printf ','
            first=0
            local arch=${arches[$i]} rowlist= c_i=()
            case $arch in -|\?) arch=null ;; *) arch=$(json_str "$arch") ;; esac
            read -r -a c_i <<<"${counts[$i]}"
            for ((j = 0; j < ${#c_i[@]}; ++j)); do
                n=${scan_rows[$j]}
                rowlist+="${rowlist:+,}"$'\n        '"{\"row\": $n, \"caption\": $(json_str "$(caption_of "$n")"), \"findings\": ${c_i[$j]}}"
            done
            [ -z "$rowlist" ] || rowlist+=$'\n      '
            printf '\n    {\n      "path": %s,\n      "arch": %s,\n      "state": %s,\n      "rows": [%s],\n' \
                "$(json_str "${candidates[$i]}")" "$arch" "$(json_str "${states[$i]}")" "$rowlist"
            if [ "$repair" -eq 1 ] && [ -n "${counts[$i]}" ]; then
                printf '      "repaired": %s,\n      "failed": %s,\n      "undo_files": [%s]\n    }' \
                    "${repaired_of[$i]}" "${failed_of[$i]}" "${undo[$i]}"
            else
                printf '      "repaired": null,\n      "failed": null,\n      "undo_files": []\n    }'
            fi
        done
        [ "$first" -eq 1 ] && printf ']\n}\n' || printf '\n  ]\n}\n'
        return $status
    fi

    [ ${#candidates[@]} -gt 0 ] || { echo "no Wine prefix found"; return $status; }
    local header line c_i=() j
    header=$(printf '%-6s %-14s' arch state)
    for r in "${scan_rows[@]}"; do header+=$(printf ' %4s' "r$r"); done
    echo "$header$(printf ' %8s %6s  %s' repaired failed prefix)"
    for i in "${!candidates[@]}"; do
        line=$(printf '%-6s %-14s' "${arches[$i]}" "${states[$i]}")
        read -r -a c_i <<<"${counts[$i]}"
        for ((j = 0; j < ${#scan_rows[@]}; ++j)); do line+=$(printf ' %4s' "${c_i[$j]:--}"); done
        echo "$line$(printf ' %8s %6s  %s' "${repaired_of[$i]}" "${failed_of[$i]}" "$(escape_field "${candidates[$i]}")")"
    done
    # What the row numbers stand for.
    for r in "${scan_rows[@]}"; do echo "r$r: $(caption_of "$r")"; done
    return $status
}

# The host path of a Windows path in the prefix (C:\... is the prefix's drive_c; other drives
# through its dosdevices links).
host_path() {  # PREFIX WINPATH
    local p=$1 w=$2 drive rest
    drive=$(printf '%s' "${w:0:1}" | tr 'A-Z' 'a-z')
    rest=${w:3}
    rest=${rest//\\//}
    if [ "$drive" = c ]; then printf '%s/drive_c/%s' "$p" "$rest"
    else
        local target
        target=$(readlink -f "$p/dosdevices/$drive:" 2>/dev/null) || target=$p/dosdevices/$drive:
        printf '%s/%s' "${target%/}" "$rest"
    fi
}

# The command: the name of the link it was started through, else the first argument.
command=${0##*/}
case $command in
    tarnwell) cmd_window "$@" ;;
    tarnwell-scan) cmd_scan "$@" ;;
    tarnwell-sweep) cmd_sweep "$@" ;;
    *)
        case ${1:-} in
            window) command=tarnwell ;;
            scan|sweep) command=tarnwell-$1 ;;
            *) echo "usage: ${0##*/} window|scan|sweep [ARGS...]" >&2; exit 2 ;;
        esac
        shift
        case $command in
            tarnwell) cmd_window "$@" ;;
            tarnwell-scan) cmd_scan "$@" ;;
            *) cmd_sweep "$@" ;;
        esac ;;
esac
