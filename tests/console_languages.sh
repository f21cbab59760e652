#!/usr/bin/env bash
# The console scanner's two languages, in a scratch copy of the test prefix with planted errors of
# several categories: in Chinese (the default on this system, and --lang zh) the planted rows and
# the closing line are byte for byte the stored ones (tests/data/console-zh.txt, what the scanner
# has always printed); in English (--lang en) the same rows in the same order, the same fields
# and escaping, with every text of the program in English.
#   console_languages.sh TARNWELL_SCAN.exe
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
scan=$1
. "$root/scripts/wine-env.sh"
prefix=$(mktemp -d /tmp/tw-lang-XXXXXX)
xdg=$(mktemp -d /tmp/tw-xdg-XXXXXX)
trap 'WINEPREFIX=$prefix wineserver -k 2>/dev/null || true; rm -rf "$prefix" "$xdg"' EXIT
tw_scratch_xdg "$xdg/data" "$xdg/config"
tw_copy_test_prefix "$prefix"
export WINEPREFIX=$prefix
mkdir -p "$prefix/drive_c/tw"
cp "$scan" "$prefix/drive_c/tw/tarnwell-scan.exe"
fail() { echo "$*"; exit 1; }

# One error of each kind whose row carries a text of the program.
cv='HKLM\Software\Microsoft\Windows\CurrentVersion'
{
    wine reg add "$cv\\Uninstall\\TwGoneApp" /v UninstallString /d 'C:\twgone\uninst.exe' /f
    wine reg add "$cv\\Uninstall\\TwGoneApp" /v DisplayName /d 'Tw Gone App' /f
    wine reg add "$cv\\Fonts" /v 'Tw Gone (TrueType)' /d twgone.ttf /f
    wine reg add "$cv\\SharedDLLs" /v 'C:\twgone\twshared.dll' /t REG_DWORD /d 1 /f
    wine reg add 'HKLM\Software\Microsoft\Windows\Help' /v twgone.hlp /d 'C:\twgone\' /f
    wine reg add 'HKCR\.twgone' /ve /d 'TwGone.Document' /f
} >/dev/null 2>&1
for home in "$prefix"/drive_c/users/*/; do
    [ -d "$home/AppData/Roaming/Microsoft/Windows/Start Menu/Programs" ] &&
        mkdir -p "$home/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/TwEmpty"
done

# scan NAME ARGS...: the planted rows (sorted: the worker threads' rows come in any order
# among the others'), then the closing line with its count as N.
scan() {
    local name=$1 rc=0
    shift
    tw_env timeout 600 wine 'C:\tw\tarnwell-scan.exe' --all --utf8 "$@" >"$prefix/$name.out" 2>"$prefix/$name.err" || rc=$?
    [ "$rc" -eq 0 ] || { echo "$name: exit status $rc"; cat "$prefix/$name.err"; exit 1; }
    # (the user's folder named as USER, the count of every row as N)
    { grep -a -e twgone -e TwGone -e TwEmpty "$prefix/$name.out" | LC_ALL=C sort || true
      tail -n 1 "$prefix/$name.err" | sed 's/[0-9][0-9]*/N/'; } |
        perl -pe 's/users\\\\[^\\]+\\\\/users\\\\USER\\\\/' >"$prefix/$name.txt"
}
scan zh
scan zh-asked --lang zh
scan en --lang en

cmp -s "$prefix/zh.txt" "$root/tests/data/console-zh.txt" ||
    { echo "Chinese output differs from the stored one:"; diff "$root/tests/data/console-zh.txt" "$prefix/zh.txt"; exit 1; }
rows() { cut -f2,3,5 "$prefix/$1.out" | LC_ALL=C sort; }
[ "$(LC_ALL=C sort "$prefix/zh.out")" = "$(LC_ALL=C sort "$prefix/zh-asked.out")" ] ||
    fail "--lang zh printed other rows than the default"
# English: the same rows, location, key name and image as in Chinese, five escaped fields each;
# every byte of the planted rows plain ASCII (their names are ASCII).
[ "$(rows en)" = "$(rows zh)" ] || fail "English rows differ: $(diff <(rows zh) <(rows en))"
awk -F'\t' 'NF != 5 { exit 1 }' "$prefix/en.out" || fail "English: a line without five fields"
! LC_ALL=C grep -a -n '[^ -~	]' "$prefix/en.txt" || fail "English output holds bytes that are not ASCII"
[ "$(grep -c . "$prefix/en.txt")" -eq "$(grep -c . "$prefix/zh.txt")" ] || fail "English planted rows differ"
grep -q '^Scan complete\. Errors found: N' "$prefix/en.txt" || fail "English closing line: $(tail -n 1 "$prefix/en.txt")"
echo "console in Chinese and English: $(grep -c . "$prefix/zh.txt") planted rows and the closing line"
