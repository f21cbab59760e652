# Sourced by the scripts: the Wine environment the program and the tests run in.
# The zh_CN.UTF-8 locale makes Wine's ANSI code page 936, the program's own. It is given to the
# Wine processes only (the wine, wineboot and wineserver commands below, and tw_env): a shell
# that started before the locale was generated cannot switch to it and would print
# "setlocale: LC_ALL: cannot change locale" for every assignment.
export WINEARCH=win32
export WINEDEBUG=${WINEDEBUG:--all}
# No .NET or Gecko installer prompts; and no host menu entries for shortcuts the tests and the
# benchmarks save (Wine starts a winemenubuilder process for every shortcut written).
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml=;winemenubuilder.exe=d"}
TW_LOCALE=${TW_LOCALE:-zh_CN.UTF-8}

# Points the desktop's folders at scratch folders for every Wine process started after it:
# XDG_DATA_HOME (launchers, icons, and the trash, which is Wine's Recycle Bin) at $1 and
# XDG_CONFIG_HOME (menu files, and user-dirs.dirs, which names the desktop folder, made here to
# name $1/Desktop) at $2. No test or benchmark then reads or writes the real user's, and a
# prefix made afterwards links its Desktop there.
tw_scratch_xdg() {
    export XDG_DATA_HOME=$1 XDG_CONFIG_HOME=$2
    mkdir -p "$1/Desktop" "$2"
    [ -e "$2/user-dirs.dirs" ] || printf 'XDG_DESKTOP_DIR="%s"\n' "$1/Desktop" >"$2/user-dirs.dirs"
}

# Runs a command with the program's locale, for a wine that a function cannot stand in for
# ("tw_env timeout 600 wine ..."; "exec env LANG=... LC_ALL=... wine ..." where exec is needed).
tw_env() { env LANG="$TW_LOCALE" LC_ALL="$TW_LOCALE" "$@"; }
wine() { tw_env wine "$@"; }
wineboot() { tw_env wineboot "$@"; }
wineserver() { tw_env wineserver "$@"; }

# The 64-bit loader: Debian keeps it out of PATH.
tw_wine64() {
    local w
    for w in "$(command -v wine64 2>/dev/null)" /usr/lib/wine/wine64 /usr/lib64/wine/wine64; do
        if [ -n "$w" ] && [ -x "$w" ]; then tw_env "$w" "$@"; return; fi
    done
    echo "wine64 is not installed: a 64-bit prefix cannot be made" >&2
    return 1
}

# Makes a prefix at $1 unless it is there already: 32-bit, or 64-bit when $2 is win64 (what
# Wine makes by default, so what most users have; the 32-bit program then runs under WOW64).
tw_make_prefix() {
    local prefix=$1 arch=${2:-win32}
    if [ ! -f "$prefix/system.reg" ]; then
        mkdir -p "$(dirname "$prefix")"
        if [ "$arch" = win64 ]; then
            WINEPREFIX=$prefix WINEARCH=win64 tw_wine64 wineboot -i >/dev/null 2>&1 || true
        else
            WINEPREFIX=$prefix wineboot -i >/dev/null 2>&1 || true
        fi
        WINEPREFIX=$prefix wineserver -w || true
    fi
}

# The program folder of the prefix at $1, as the program itself runs there (32-bit, so under
# "Program Files (x86)" in a 64-bit prefix), with "\\" separators: "Program Files\\Tarnwell".
tw_prefix_program_folder() {
    if grep -m1 -aq '^#arch=win64' "$1/system.reg" 2>/dev/null; then
        echo 'Program Files (x86)\Tarnwell'
    else
        echo 'Program Files\Tarnwell'
    fi
}

# Starts Xvfb on a free display when there is no usable one; sets DISPLAY and TW_XVFB_PID.
tw_ensure_display() {
    if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then return 0; fi
    local n
    for n in $(seq 91 140); do
        if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
            Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
            TW_XVFB_PID=$!
            export DISPLAY=":$n"
            local i
            for i in $(seq 1 50); do
                [ -e "/tmp/.X11-unix/X$n" ] && return 0
                sleep 0.1
            done
            return 0
        fi
    done
    return 1
}

# Starts the prefix $1's server afresh, to stay until killed, and waits (at most 45 s) for the save
# of the registry that Wine makes about 30 s after the changes of its start-up: every process of
# the prefix waits while the server writes its registry files, and a measure of the window's input
# waits must not take that save for the program's. End it with "WINEPREFIX=$1 wineserver -k".
tw_settle_prefix() {
    local prefix=$1 before i
    WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true
    WINEPREFIX=$prefix wineserver -w || true
    before=$(stat -c %Y "$prefix/system.reg" 2>/dev/null || echo 0)
    WINEPREFIX=$prefix wineserver -p
    WINEPREFIX=$prefix wine cmd /c exit >/dev/null 2>&1 || true
    for i in $(seq 1 90); do
        [ "$(stat -c %Y "$prefix/system.reg" 2>/dev/null || echo 0)" != "$before" ] && break
        sleep 0.5
    done
    sleep 1
}
