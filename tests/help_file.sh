#!/usr/bin/env bash
# Reads the compiled help file back as a user's help viewer would find it: every page and the
# contents and index are GB2312 text in Chinese, the start page is the one the program asks for,
# the contents and the index exist, and no link of a page, the contents or the index leads
# nowhere (a missing page, or an anchor the page does not have).
#   tests/help_file.sh path/to/Kivcc.chm
set -uo pipefail
chm=$1
fail=0
err() { echo "FAIL: $*"; fail=1; }

[ -s "$chm" ] || { echo "FAIL: no help file at $chm"; exit 1; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
extract_chmLib "$chm" "$out" > /dev/null || { echo "FAIL: the help file cannot be read"; exit 1; }
cd "$out"

# The start page the program shows, and the engine's default topic.
[ -f Topic_17.htm ] || err "no Topic_17.htm"
grep -aq 'Topic_17.htm' '#SYSTEM' || err "the default topic is not Topic_17.htm"

toc=$(ls *.hhc 2>/dev/null | head -1)
idx=$(ls *.hhk 2>/dev/null | head -1)
[ -n "$toc" ] || err "no table of contents"
[ -n "$idx" ] || err "no index"
[ -n "$toc" ] && grep -aq "$toc" '#SYSTEM' || err "the table of contents is not registered"
[ -n "$idx" ] && grep -aq "$idx" '#SYSTEM' || err "the index is not registered"

pages=$(ls *.htm *.html 2>/dev/null)
[ -n "$pages" ] || err "no pages"
for f in $pages $toc $idx; do
    # GB2312 text: it converts, declares that charset, and has Chinese in it (bytes >= 0xA1).
    iconv -f GB2312 -t UTF-8 "$f" > /dev/null 2>&1 || err "$f is not GB2312 text"
    grep -aqi 'charset=gb2312' "$f" || err "$f does not declare charset=gb2312"
    LC_ALL=C grep -aq $'[\xa1-\xf7][\xa1-\xfe]' "$f" || err "$f has no Chinese text"
done

# A link target: "page.htm" or "page.htm#anchor", relative to the archive's root.
check_target() {  # $1 = the file holding the link, $2 = the target
    local from=$1 target=$2 page anchor
    case "$target" in
        http:*|https:*|mailto:*|ftp:*) return ;;
        \#*) page=$from; anchor=${target#\#} ;;
        *\#*) page=${target%%#*}; anchor=${target#*#} ;;
        *) page=$target; anchor= ;;
    esac
    if [ ! -f "$page" ]; then
        err "$from links to $target: no such file"
    elif [ -n "$anchor" ] && ! grep -aq "name=\"$anchor\"" "$page"; then
        err "$from links to $target: no such anchor"
    fi
}
for f in $pages; do
    for t in $(grep -aoiE '(href|src)="[^"]*"' "$f" | sed -E 's/^[^"]*"([^"]*)"$/\1/'); do
        check_target "$f" "$t"
    done
done
for f in $toc $idx; do
    n=0
    for t in $(grep -aoiE '<param name="Local" value="[^"]*"' "$f" | sed -E 's/.*value="([^"]*)"$/\1/'); do
        check_target "$f" "$t"
        n=$((n + 1))
    done
    [ "$n" -gt 0 ] || err "$f lists no page"
done

# Every page can be reached from the table of contents.
for f in $pages; do
    grep -aq "value=\"$f\"" "$toc" || err "$f is not in the table of contents"
done

[ $fail = 0 ] && echo "help file OK: $(echo $pages | wc -w) pages"
exit $fail
