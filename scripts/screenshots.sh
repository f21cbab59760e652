#!/usr/bin/env bash
# Screenshots of every window and dialog of the program in one language, for looking at them:
#   scripts/screenshots.sh zh|en OUTDIR [PREFIX]
# zh runs Wine with LANG=zh_CN.UTF-8 (code page 936), en with LANG=en_US.UTF-8 (code page 1252).
# It works in a scratch copy of PREFIX (default: the test prefix, else a new one) with a few
# planted errors, on a virtual display of its own, and drives the window by keyboard as a user
# does: the main window, each menu and the Language submenu, a scan's rows, the popup menu, a
# row's details, the questions of repair all, the backup, the export dialog, the about box, and
# the history, ignore-list and undo-files windows. The program is built first (scripts/build.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
lang=${1:?zh or en}
out=$(mkdir -p "${2:?output folder}" && cd "$2" && pwd)
template=${3:-${TW_TEST_PREFIX:-$root/build/wineprefix}}
. "$root/scripts/wine-env.sh"
case "$lang" in
    zh) TW_LOCALE=zh_CN.UTF-8 ;;
    en) TW_LOCALE=en_US.UTF-8 ;;
    *) echo "zh or en" >&2; exit 2 ;;
esac
work=$(mktemp -d /tmp/tw-shots-XXXXXX)
prefix=$work/prefix
unset DISPLAY
tw_ensure_display
trap 'WINEPREFIX=$prefix wineserver -k 2>/dev/null || true; [ -z "${TW_XVFB_PID:-}" ] || kill "$TW_XVFB_PID"; rm -rf "$work"' EXIT
tw_scratch_xdg "$work/data" "$work/config"
if [ -f "$template/system.reg" ]; then mkdir -p "$prefix" && cp -a "$template/." "$prefix/"; else tw_make_prefix "$prefix"; fi
export WINEPREFIX=$prefix
cv='HKLM\Software\Microsoft\Windows\CurrentVersion'
{
    wine reg add "$cv\\Uninstall\\TwGoneApp" /v UninstallString /d 'C:\twgone\uninst.exe' /f
    wine reg add "$cv\\Fonts" /v 'Tw Gone (TrueType)' /d twgone.ttf /f
    wine reg add 'HKCR\.twgone' /ve /d 'TwGone.Document' /f
} >/dev/null 2>&1
mkdir -p "$prefix/drive_c/tw"
cp "$root/build/tarnwell.exe" "$prefix/drive_c/tw/"

shot() { sleep "${2:-1.5}"; import -window root "$out/$lang-$1.png"; }
keys() { xdotool windowfocus "$win" 2>/dev/null || true; xdotool key --delay 150 "$@"; }
wine 'C:\tw\tarnwell.exe' >/dev/null 2>&1 &
for _ in $(seq 1 60); do
    win=$(xdotool search --name '^Tarnwell$' 2>/dev/null | head -n 1) && [ -n "$win" ] && break
    sleep 0.5
done
[ -n "${win:-}" ] || { echo "the window did not open" >&2; exit 1; }
shot main 3
keys alt+f; shot menu-file
xdotool key --delay 150 l; shot menu-language
xdotool key --delay 150 Escape Escape Escape
keys alt+s; shot menu-scan
xdotool key --delay 150 Escape Escape
keys alt+h; shot menu-help
xdotool key --delay 150 Escape Escape
keys ctrl+s; shot scan-rows 25
# The first row of the report, then its popup menu.
eval "$(xdotool getwindowgeometry --shell "$win")"
xdotool mousemove $((X + 100)) $((Y + 275)) click 1
keys shift+F10; shot popup
xdotool key --delay 150 Escape
xdotool key Return; shot details 2
xdotool key --delay 150 Escape
keys alt+s Down Down Return; shot ask-backup
xdotool key Escape; shot ask-repair-all
xdotool key Escape
keys alt+f Return; shot backup-progress 0.7
sleep 8
shot backup-done 0
xdotool key Return
keys alt+f e; shot export 2
xdotool key --delay 150 Escape
keys alt+h Up Return; shot about 2
xdotool key Return
# The small windows last: after a modal one closes, the main window takes no keys from xdotool.
keys ctrl+h; shot history 2
xdotool key --delay 150 Escape
keys alt+s Up Return; shot ignore-list 2
xdotool key --delay 150 Escape
keys alt+s Up Up Return; shot undo-files 2
xdotool key --delay 150 Escape
echo "screenshots in $out"
