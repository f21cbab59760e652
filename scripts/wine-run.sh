#!/usr/bin/env bash
# How ctest runs a test exe: under Wine, in the project's own 32-bit test prefix, with the
# Chinese ANSI code page and a virtual display.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/wine-env.sh"
export WINEPREFIX=${TW_TEST_PREFIX:-$root/build/wineprefix}
exec env LANG="$TW_LOCALE" LC_ALL="$TW_LOCALE" wine "$@"
