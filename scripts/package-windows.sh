#!/usr/bin/env bash
# Makes the Windows packages in dist/ (scripts/package.sh runs it):
#   tarnwell-<version>-setup.exe     the setup, built with NSIS from packaging/windows/tarnwell.nsi
#   tarnwell-<version>-portable.zip  both programs, the guide (Chinese and English, each also as
#                                    plain HTML pages in help\zh and help\en), the read-me and
#                                    the licence
# The version is res/version.h's, as in the programs' own version blocks.
#   --out DIR    write the packages to DIR instead of dist/
#   --no-build   package what build/ holds (the installer test, which runs after the build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
out=$root/dist build=1
while [ $# -gt 0 ]; do
    case "$1" in
        --out) out=$(mkdir -p "$2" && cd "$2" && pwd); shift 2 ;;
        --no-build) build=0; shift ;;
        *) echo "usage: scripts/package-windows.sh [--out DIR] [--no-build]" >&2; exit 2 ;;
    esac
done
if [ $build = 1 ]; then
    bash scripts/setup.sh
    echo "Building the programs and the guide..."
    bash scripts/build.sh --target tarnwell tarnwell-scan
fi

version=$(sed -n 's/^#define TW_VERSION_STR "\([^"]*\)".*/\1/p' res/version.h)
if ! [[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$ ]]; then
    echo "res/version.h: TW_VERSION_STR must be four numbers (a.b.c.d), not '$version'" >&2
    exit 1
fi

name=tarnwell-$version
work=$(mktemp -d "${TMPDIR:-/tmp}/tw-package-XXXXXX")
trap 'rm -rf "$work"' EXIT
stage=$work/$name
mkdir -p "$stage" "$out"
cp build/tarnwell.exe build/tarnwell-scan.exe build/Kivcc.chm build/Kivcc-en.chm "$stage/"
mkdir "$stage/help"
cp -r build/help/zh build/help/en "$stage/help/"
# Text for Notepad on any system of the family: CR LF line ends; the read-me, Chinese and
# English, in UTF-8 with its byte-order mark.
{ printf '\xef\xbb\xbf'; sed 's/$/\r/' packaging/windows/ReadMe.txt; } >"$stage/ReadMe.txt"
sed 's/$/\r/' LICENSE >"$stage/LICENSE.txt"

setup=$out/$name-setup.exe
zip=$out/$name-portable.zip
rm -f "$setup" "$zip"
echo "Making $setup..."
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DSTAGE="$stage" -DICON="$root/res/art/app.ico" \
    -DOUTFILE="$setup" packaging/windows/tarnwell.nsi
echo "Making $zip..."
(cd "$work" && zip -q -X -r "$zip" "$name")
ls -l "$setup" "$zip"
