#!/usr/bin/env bash
# Every category, the disk walks included, on a freshly made 32-bit prefix: the console scanner
# must finish well under a minute and list no file of the host. Host folders are planted where a
# walk that followed links or walked the host's root drive would find them; a broken shortcut
# and an empty program group inside the prefix must be found.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
exe=${1:-$root/build/tarnwell-scan.exe}
. "$root/scripts/wine-env.sh"
prefix=$(mktemp -d /tmp/tw-freshdisk-XXXXXX)
host=$(mktemp -d /tmp/tw-hostfiles-XXXXXX)
trap 'WINEPREFIX=$prefix wineserver -k 2>/dev/null || true; rm -rf "$prefix" "$host"' EXIT
tw_scratch_xdg "$host/xdg-data" "$host/xdg-config"
export WINEPREFIX=$prefix
# The prefix's Desktop and Documents links lead into a scratch home, never the real one.
mkdir -p "$host/home"
export HOME=$host/home
tw_make_prefix "$prefix"

# Shortcuts are made by the system's own scripting host, as a user's installer would.
cat >"$host/mk.js" <<'JS'
var s = new ActiveXObject("WScript.Shell").CreateShortcut(WScript.Arguments(0));
s.TargetPath = WScript.Arguments(1);
s.Save();
JS
hostdos="Z:${host//\//\\}"
drive_c=$prefix/drive_c
programs="$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs"
mkdir -p "$drive_c/twplanted" "$host/hostempty" "$programs/TwEmptyGroup"
wine wscript //nologo "$hostdos\\mk.js" 'C:\twplanted\broken.lnk' 'C:\twgone\planted.exe' >/dev/null 2>&1
wine wscript //nologo "$hostdos\\mk.js" "$hostdos\\broken.lnk" 'C:\twgone\host.exe' >/dev/null 2>&1
[ -s "$drive_c/twplanted/broken.lnk" ] && [ -s "$host/broken.lnk" ] || { echo "could not make the shortcuts"; exit 1; }
ln -s "$host" "$drive_c/hostlink"
ln -s "$host" "$programs/HostGroup"
wineserver -w

out=$(mktemp) err=$(mktemp)
start=$(date +%s)
tw_env timeout 300 wine "$exe" --all --utf8 >"$out" 2>"$err"
seconds=$(( $(date +%s) - start ))
status=$(tail -n 1 "$err")
case "$status" in
    扫描完毕。共检查到：*) ;;
    *) echo "no closing status line; stderr was:"; cat "$err"; exit 1 ;;
esac
count=${status#扫描完毕。共检查到：}
count=${count%% *}
[ "$(wc -l <"$out")" -eq "$count" ] || { echo "status says $count, printed $(wc -l <"$out") lines"; exit 1; }
fail=0
expect() {
    grep -qF "$1" "$out" || { echo "missing: $1"; fail=1; }
}
# Fields are printed escaped: each backslash of a path as two.
expect $'磁盘文件错误\tC:\\\\twplanted\\\\broken.lnk\t'
expect $'磁盘目录错误\tC:\\\\ProgramData\\\\Microsoft\\\\Windows\\\\Start Menu\\\\Programs\\\\TwEmptyGroup\t'
# No location of a disk Finding on the host's root drive or behind a link to the host.
if awk -F'\t' '$1 ~ /^磁盘/ && ($2 ~ /^[Zz]:/ || $2 ~ /hostlink|HostGroup|hostempty/)' "$out" | grep .; then
    echo "host files listed"; fail=1
fi
[ "$seconds" -lt 60 ] || { echo "the scan took $seconds s"; fail=1; }
[ "$fail" -eq 0 ] || { cat "$out"; exit 1; }
[ -z "${TW_SHOW:-}" ] || cat "$out"
echo "fresh prefix, every category: $count findings in $seconds s; $status"
