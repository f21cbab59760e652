# Sourced by the scripts: the Wine environment the program and the tests run in.
# The zh_CN.UTF-8 locale makes Wine's ANSI code page 936, the program's own.
export WINEARCH=win32
export WINEDEBUG=${WINEDEBUG:--all}
export LANG=zh_CN.UTF-8
export LC_ALL=zh_CN.UTF-8
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}

# Makes a 32-bit prefix at $1 unless it is there already.
tw_make_prefix() {
    local prefix=$1
    if [ ! -f "$prefix/system.reg" ]; then
        mkdir -p "$(dirname "$prefix")"
        WINEPREFIX=$prefix wineboot -i >/dev/null 2>&1 || true
        WINEPREFIX=$prefix wineserver -w || true
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
