#!/usr/bin/env bash
# How ctest runs a test exe: under Wine, in the project's own 32-bit test prefix, with the
# Chinese ANSI code page and a virtual display.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/wine-env.sh"
export WINEPREFIX=${TW_TEST_PREFIX:-$root/build/wineprefix}
# What a test deletes through the shell goes to a Recycle Bin of the tests' own beside the
# prefix, never into the user's trash; Wine's menu files and the desktop are read from there too.
tw_scratch_xdg "${TW_TEST_XDG_DATA:-$(dirname "$WINEPREFIX")/test-xdg-data}" \
    "${TW_TEST_XDG_CONFIG:-$(dirname "$WINEPREFIX")/test-xdg-config}"
exec env LANG="$TW_LOCALE" LC_ALL="$TW_LOCALE" wine "$@"
