#!/usr/bin/env bash
# Reads the compiled guides back as a user's help viewer would find them: the Chinese one's pages,
# contents and index are GB2312 text in Chinese, the English one's Windows-1252 text without
# Chinese; the start page is the one the program asks for, the contents and the index exist, no
# link of a page, the contents or the index leads nowhere (a missing page, or an anchor the page
# does not have), and the English guide has the same pages, anchors and contents as the Chinese.
# Each guide's pages also lie beside it as UTF-8 HTML (help/zh, help/en), the same text.
#   tests/help_file.sh path/to/Kivcc.chm path/to/Kivcc-en.chm
set -uo pipefail
zh_chm=$1 en_chm=$2
fail=0
err() { echo "FAIL: $*"; fail=1; }

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

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

# check_guide CHM LANG: extracts the guide into $out/LANG and checks it on its own.
check_guide() {
    local chm=$1 lang=$2 charset toc idx pages f t n
    case $lang in zh) charset=GB2312 ;; en) charset=WINDOWS-1252 ;; esac
    [ -s "$chm" ] || { err "no help file at $chm"; return; }
    mkdir -p "$out/$lang"
    extract_chmLib "$chm" "$out/$lang" > /dev/null || { err "$chm cannot be read"; return; }
    (
    cd "$out/$lang"
    # The start page the program shows, and the engine's default topic.
    [ -f Topic_17.htm ] || err "$lang: no Topic_17.htm"
    grep -aq 'Topic_17.htm' '#SYSTEM' || err "$lang: the default topic is not Topic_17.htm"

    toc=$(ls *.hhc 2>/dev/null | head -1)
    idx=$(ls *.hhk 2>/dev/null | head -1)
    [ -n "$toc" ] || err "$lang: no table of contents"
    [ -n "$idx" ] || err "$lang: no index"
    [ -n "$toc" ] && grep -aq "$toc" '#SYSTEM' || err "$lang: the table of contents is not registered"
    [ -n "$idx" ] && grep -aq "$idx" '#SYSTEM' || err "$lang: the index is not registered"

    pages=$(ls *.htm *.html 2>/dev/null)
    [ -n "$pages" ] || err "$lang: no pages"
    for f in $pages $toc $idx; do
        # Text of the language's code page that declares that charset; Chinese text (bytes
        # >= 0xA1 in pairs) in the Chinese guide only.
        iconv -f $charset -t UTF-8 "$f" > /dev/null 2>&1 || err "$lang: $f is not $charset text"
        grep -aqi "charset=$charset" "$f" || err "$lang: $f does not declare charset=$charset"
        if LC_ALL=C grep -aq $'[\xa1-\xf7][\xa1-\xfe]' "$f"; then
            [ $lang = zh ] || err "$lang: $f has Chinese text"
        else
            [ $lang = en ] || err "$lang: $f has no Chinese text"
        fi
    done

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
        [ "$n" -gt 0 ] || err "$lang: $f lists no page"
    done

    # Every page can be reached from the table of contents.
    for f in $pages; do
        grep -aq "value=\"$f\"" "$toc" || err "$lang: $f is not in the table of contents"
    done

    # The same pages as plain UTF-8 HTML in help/LANG beside the guide, for the web browser.
    local plain
    plain=$(dirname "$chm")/help/$lang
    for f in $pages style.css; do
        if [ ! -f "$plain/$f" ]; then
            err "$lang: $f is not in $plain"
        elif ! iconv -f $charset -t UTF-8 "$f" | sed 's/\(<meta [^>]*charset=\)[A-Za-z0-9_-]*/\1utf-8/I' |
                cmp -s - "$plain/$f"; then
            err "$lang: $plain/$f is not the guide's page in UTF-8"
        fi
    done
    [ $fail = 0 ] && echo "$lang help file OK: $(echo $pages | wc -w) pages"
    exit $fail
    ) || fail=1
}

check_guide "$zh_chm" zh
check_guide "$en_chm" en

# The English guide has the Chinese one's topics: the same pages with the same anchors, in the
# same order in the table of contents.
topics() {  # LANG: pages with their anchors, then the contents' order
    (cd "$out/$1" && for f in $(ls *.htm *.html 2>/dev/null); do
        echo "$f: $(grep -aoE '<a name="[^"]*"' "$f" | sort | tr '\n' ' ')"
    done
    grep -aoiE '<param name="Local" value="[^"]*"' $(ls *.hhc | head -1) | sed -E 's/.*value="([^"]*)"$/contents: \1/')
}
diff <(topics zh) <(topics en) > "$out/topics.diff" || { err "the English guide's topics differ:"; cat "$out/topics.diff"; }
exit $fail
