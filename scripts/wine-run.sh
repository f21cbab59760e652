#!/usr/bin/env bash
# How ctest runs a test exe: under Wine, in the project's own 32-bit test prefix, with the
# Chinese ANSI code page and a virtual display.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/wine-env.sh"
export WINEPREFIX=${TW_TEST_PREFIX:-$root/build/wineprefix}
# What a test deletes through the shell goes to a Recycle Bin of the tests' own beside the
# prefix, never into the user's trash.
export XDG_DATA_HOME=${TW_TEST_XDG_DATA:-$(dirname "$WINEPREFIX")/test-xdg-data}
# Wine's menu files of the host are read from here, never from the user's own.
export XDG_CONFIG_HOME=${TW_TEST_XDG_CONFIG:-$(dirname "$WINEPREFIX")/test-xdg-config}
mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME"
exec env LANG="$TW_LOCALE" LC_ALL="$TW_LOCALE" wine "$@"
