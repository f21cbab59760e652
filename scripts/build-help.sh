#!/usr/bin/env bash
# Compiles the help sources (UTF-8, under help/) into the compiled help file that the program
# shows. The pages, the contents and the index are converted to GB2312 first: the help engine of
# a Chinese system reads them in that code page, as their charset line says.
#   scripts/build-help.sh SOURCE_DIR WORK_DIR OUTPUT_CHM
set -euo pipefail
src=$1 work=$2 out=$3
rm -rf "$work"
mkdir -p "$work"
for f in "$src"/*; do
    name=$(basename "$f")
    case "$name" in
        *.htm|*.html|*.hhc|*.hhk|*.hhp|*.css)
            iconv -f UTF-8 -t GB2312 "$f" > "$work/$name" ;;
        *) cp "$f" "$work/$name" ;;
    esac
done
project=$(cd "$work" && ls *.hhp)
(cd "$work" && chmcmd "$project" > chmcmd.log 2>&1) || { cat "$work/chmcmd.log" >&2; exit 1; }
chm="$work/$(sed -n 's/^Compiled file=\(.*\)\r\{0,1\}$/\1/p' "$work/$project")"
[ -s "$chm" ] || { echo "build-help: $chm was not written" >&2; cat "$work/chmcmd.log" >&2; exit 1; }
cp "$chm" "$out"
