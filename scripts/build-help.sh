#!/usr/bin/env bash
# Compiles the help sources of one language (UTF-8, under help/ for Chinese and help/en/ for
# English) into the compiled help file that the program shows. The pages, the contents and the
# index are converted first to the code page of the project's language, which the help engine
# reads them in, as their charset line says: GB2312 for Chinese, Windows-1252 for English.
# With a pages folder, the pages and their style sheet also go there as plain UTF-8 HTML, which a
# web browser shows where the help window cannot (Wine without its HTML engine).
#   scripts/build-help.sh SOURCE_DIR WORK_DIR OUTPUT_CHM [PAGES_DIR]
set -euo pipefail
src=$1 work=$2 out=$3 pages=${4:-}
project=$(cd "$src" && ls *.hhp)
case $(sed -n 's/^Language=\(0x[0-9a-fA-F]*\).*/\1/p' "$src/$project") in
    0x804) charset=GB2312 ;;
    0x409) charset=WINDOWS-1252 ;;
    *) echo "build-help: $project names a language without a code page here" >&2; exit 1 ;;
esac
rm -rf "$work"
mkdir -p "$work"
for f in "$src"/*; do
    [ -f "$f" ] || continue  # the other languages' folders
    name=$(basename "$f")
    case "$name" in
        *.htm|*.html|*.hhc|*.hhk|*.hhp|*.css)
            iconv -f UTF-8 -t "$charset" "$f" > "$work/$name" ;;
        *) cp "$f" "$work/$name" ;;
    esac
done
(cd "$work" && chmcmd "$project" > chmcmd.log 2>&1) || { cat "$work/chmcmd.log" >&2; exit 1; }
chm="$work/$(sed -n 's/^Compiled file=\(.*\)\r\{0,1\}$/\1/p' "$work/$project")"
[ -s "$chm" ] || { echo "build-help: $chm was not written" >&2; cat "$work/chmcmd.log" >&2; exit 1; }
cp "$chm" "$out"

if [ -n "$pages" ]; then
    rm -rf "$pages"
    mkdir -p "$pages"
    for f in "$src"/*.htm "$src"/*.html "$src"/*.css; do
        [ -f "$f" ] || continue
        sed 's/\(<meta [^>]*charset=\)[A-Za-z0-9_-]*/\1utf-8/I' "$f" > "$pages/$(basename "$f")"
    done
fi
