#!/usr/bin/env bash
# The console scanner's repair and undo in a scratch copy of the test prefix, on its real
# registry and with its own registry editor: --dry-run deletes nothing, an undo file that cannot
# be written stops the repair, a row holding something on the ignore list stays, the repair
# removes exactly what its Findings name, and --undo imports it all back; exit statuses as the
# README gives them.
#   cli_repair_prefix.sh TARNWELL_SCAN.exe
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
scan=$1
. "$root/scripts/wine-env.sh"
prefix=$(mktemp -d /tmp/tw-repair-XXXXXX)
xdg=$(mktemp -d /tmp/tw-xdg-XXXXXX)
trap 'WINEPREFIX=$prefix wineserver -k 2>/dev/null || true; rm -rf "$prefix" "$xdg"' EXIT
tw_scratch_xdg "$xdg/data" "$xdg/config"
tw_copy_test_prefix "$prefix"
export WINEPREFIX=$prefix
dir=$prefix/drive_c/tw
mkdir -p "$dir"
cp "$scan" "$dir/tarnwell-scan.exe"

uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
fonts='HKLM\Software\Microsoft\Windows\CurrentVersion\Fonts'
wine reg add "$uninstall\\TwGoneApp" /v UninstallString /d 'C:\twgone\uninst.exe' /f >/dev/null 2>&1
wine reg add "$uninstall\\TwGoneApp" /v DisplayName /d 'Tw Gone App' /f >/dev/null 2>&1
wine reg add "$fonts" /v 'Tw Gone (TrueType)' /d twgone.ttf /f >/dev/null 2>&1

fail() { echo "$*"; exit 1; }
# run EXPECTED_STATUS ARGS...: runs the scanner, leaves its standard output in $out.
run() {
    local want=$1 rc=0
    shift
    out=$(tw_env timeout 300 wine 'C:\tw\tarnwell-scan.exe' --utf8 "$@" 2>"$prefix/err") || rc=$?
    [ "$rc" -eq "$want" ] || { echo "$*: exit status $rc, not $want; stderr:"; cat "$prefix/err"; exit 1; }
}
# The registry as the test looks at it: the planted key and the font values.
# (In bytes: the editor's output is in the prefix's code page; its error line is left out.)
state() {
    { wine reg query "$uninstall\\TwGoneApp"; wine reg query "$fonts"; } 2>/dev/null | tr -d '\r' |
        LC_ALL=C grep -a -e '^HKEY_' -e '^    ' | LC_ALL=C sort
}
findings() { printf '%s\n' "$out" | grep -v $'^\t' | grep -c .; }

before=$(state)
grep -q 'Tw Gone App' <<<"$before" || fail "the planted key is not there"
run 0 --rows 5,6
plain=$out
awk -F'\t' 'NF != 5 { exit 1 }' <<<"$plain" || fail "a plain scan printed other than five fields"
count=$(grep -c . <<<"$plain")
grep -qF 'TwGoneApp' <<<"$plain" && grep -qF 'Tw Gone (TrueType)' <<<"$plain" || fail "planted rows not found: $plain"

# --dry-run: each Finding with would-delete and, below it, what would go; nothing goes.
run 0 --rows 5,6 --repair --dry-run
[ "$(findings)" -eq "$count" ] || fail "dry run: $(findings) Findings, the scan had $count"
printf '%s\n' "$out" | grep -v $'^\t' | awk -F'\t' 'NF != 6 || $6 != "would-delete" { exit 1 }' ||
    fail "dry run lines: $out"
grep -qF $'\t"DisplayName"="Tw Gone App"' <<<"$out" || fail "dry run does not show the key's values: $out"
[ "$(state)" = "$before" ] || fail "the dry run changed the registry"
[ ! -e "$dir/Undo" ] || fail "the dry run left an undo folder"

# An undo file that cannot be made: nothing is deleted, every row says so, status 2.
touch "$dir/Undo"
run 2 --rows 5,6 --repair
printf '%s\n' "$out" | awk -F'\t' 'NF != 6 || $6 != "not-recorded" { exit 1 }' || fail "without undo file: $out"
[ "$(state)" = "$before" ] || fail "a repair without its undo file deleted something"
rm "$dir/Undo"

# A key holding a value on the ignore list stays: status 1.
printf '[Ignore]\r\n1=HKEY_LOCAL_MACHINE\tSoftware\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TwGoneApp\tDisplayName\r\n' \
    >"$dir/Ignore.ini"
run 1 --rows 5 --repair
grep -qP 'TwGoneApp\t.*\tignored$' <<<"$out" || fail "the protected key was not left alone: $out"
[ "$(state)" = "$before" ] || fail "a protected key was deleted"
rm "$dir/Ignore.ini"

# The repair: every row repaired, and exactly the values and keys the rows name are gone.
run 0 --rows 5,6 --repair
[ "$(findings)" -eq "$count" ] || fail "repair: $(findings) Findings, the scan had $count"
printf '%s\n' "$out" | awk -F'\t' 'NF != 6 || $6 != "repaired" { exit 1 }' || fail "repair lines: $out"
after=$(state)
grep -q 'TwGoneApp' <<<"$after" && fail "the planted key is still there"
expected=$(printf '%s\n' "$before" | LC_ALL=C grep -a -v -e 'TwGoneApp' -e 'Tw Gone App' -e 'uninst.exe')
while IFS=$'\t' read -r _ location name _; do
    [ "$location" = 'Software\\Microsoft\\Windows\\CurrentVersion\\Fonts' ] || continue
    expected=$(printf '%s\n' "$expected" | LC_ALL=C grep -a -v -F "    $name    REG_")
done <<<"$plain"
[ "$after" = "$expected" ] || { diff <(echo "$expected") <(echo "$after"); fail "the repair removed other than its Findings"; }

run 0 --list-undo
[ "$(grep -c . <<<"$out")" -eq 1 ] || fail "undo files: $out"
IFS=$'\t' read -r _ keys size _ <<<"$out"
[ "$keys" -ge 2 ] && [ "$size" -gt 0 ] || fail "undo list line: $out"

# The undo puts back everything; an undo file that is not there is status 2.
run 0 --undo
grep -qP '\trestored$' <<<"$out" || fail "undo: $out"
[ "$(state)" = "$before" ] || { diff <(echo "$before") <(state); fail "the undo did not bring everything back"; }
run 2 --undo 'C:\tw\no-such-undo.reg'

# A stale value of the current user is scanned as HKEY_CURRENT_USER (row 7) and again through
# HKEY_USERS\<SID> (row 8): repaired once, then already gone, which is done too (status 0).
wine reg add 'HKCU\Software\TwGoneUser' /v Path /d 'C:\twgone\user.exe' /f >/dev/null 2>&1
wine reg add 'HKCU\Software\TwKeep' /v Kept /d yes /f >/dev/null 2>&1
run 0 --rows 7,8 --repair
[ "$(grep -cP 'TwGoneUser\tPath\t.*\trepaired$' <<<"$out")" -eq 1 ] &&
    [ "$(grep -cP 'TwGoneUser\tPath\t.*\talready-gone$' <<<"$out")" -eq 1 ] || fail "one value through two views: $out"
user_value() { wine reg query 'HKCU\Software\TwGoneUser' /v Path >/dev/null 2>&1; }
user_value && fail "the stale value is still there"

# Undo files that hold more than a repair recorded are refused and nothing is imported
# (status 2): a deletion added to this repair's own file, and a file made by hand.
newest=$(ls "$dir"/Undo/*.reg | tail -n 1)
{ iconv -f UTF-16LE -t UTF-8 "$newest"; printf '\r\n[-HKEY_CURRENT_USER\\Software\\TwKeep]\r\n'; } |
    iconv -f UTF-8 -t UTF-16LE >"$dir/edited.reg"
printf 'REGEDIT4\r\n\r\n[-HKEY_CURRENT_USER\\Software\\TwKeep]\r\n' >"$dir/planted.reg"
for file in edited planted; do
    run 2 --undo "C:\\tw\\$file.reg"
    grep -q '不是修复时写下的撤销文件' "$prefix/err" || fail "$file.reg: no reason given: $(cat "$prefix/err")"
    wine reg query 'HKCU\Software\TwKeep' >/dev/null 2>&1 || fail "$file.reg was imported: a key is gone"
    user_value && fail "$file.reg was imported: the value is back"
done
run 0 --undo
user_value || fail "the repair's own undo file did not bring the value back"

# A product of the installer whose folder is gone, which the installer does not know: the
# uninstall returns 1605, and the line gives the code and its meaning after the outcome.
product='{5A2C7E31-0B4D-4F6A-9C1E-2D3B4A5F60C7}'
wine reg add "$uninstall\\$product" /v DisplayName /d 'Tw Gone Product' /f >/dev/null 2>&1
wine reg add "$uninstall\\$product" /v UninstallString /d "MsiExec.exe /X$product" /f >/dev/null 2>&1
wine reg add "$uninstall\\$product" /v InstallLocation /d 'C:\twgone\product' /f >/dev/null 2>&1
run 1 --rows 5 --repair
grep -qP "\\\\\\Q$product\\E\t.*\tfailed\t1605\t系统安装程序中没有登记这个产品$" <<<"$out" || fail "product line: $out"
echo "console repair, dry run, undo: ok"
