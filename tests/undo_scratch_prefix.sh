#!/usr/bin/env bash
# Repair and undo in a freshly made 32-bit prefix, on its real registry and with its own
# registry editor; then the console scanner in the same prefix, before and after an object is
# put on the ignore list.
#   undo_scratch_prefix.sh ROUNDTRIP_TEST.exe TARNWELL_SCAN.exe
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
roundtrip=$1 scan=$2
. "$root/scripts/wine-env.sh"
prefix=$(mktemp -d /tmp/tw-undo-XXXXXX)
xdg=$(mktemp -d /tmp/tw-xdg-XXXXXX)
trap 'WINEPREFIX=$prefix wineserver -k 2>/dev/null || true; rm -rf "$prefix" "$xdg"' EXIT
tw_scratch_xdg "$xdg/data" "$xdg/config"
export WINEPREFIX=$prefix
tw_make_prefix "$prefix"
wine reg add 'HKCU\Software\Wine' /v Version /d winxp /f >/dev/null 2>&1
# The programs run from a folder of the prefix: their undo files, logs and ignore list stay there.
dir=$prefix/drive_c/tw
mkdir -p "$dir"
cp "$roundtrip" "$dir/roundtrip.exe"
cp "$scan" "$dir/tarnwell-scan.exe"

tw_env timeout 600 wine 'C:\tw\roundtrip.exe'

font='Tw Console Gone (TrueType)'
wine reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion\Fonts' /v "$font" /d twconsolegone.ttf /f >/dev/null 2>&1
out=$(tw_env timeout 600 wine 'C:\tw\tarnwell-scan.exe' --rows 6 --utf8 2>/dev/null)
grep -qF "$font" <<<"$out" || { echo "the console scanner did not report the planted font:"; echo "$out"; exit 1; }
printf '[Ignore]\r\n1=HKEY_LOCAL_MACHINE\tSoftware\\Microsoft\\Windows\\CurrentVersion\\Fonts\t%s\r\n' "$font" \
    > "$dir/Ignore.ini"
out=$(tw_env timeout 600 wine 'C:\tw\tarnwell-scan.exe' --rows 6 --utf8 2>/dev/null)
if grep -qF "$font" <<<"$out"; then echo "the console scanner reported an ignored object"; exit 1; fi
echo "undo round trip and console ignore list: ok"
