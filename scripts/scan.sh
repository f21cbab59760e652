#!/usr/bin/env bash
# Runs the console scanner (no window needed) in the user's Wine prefix; arguments go to it,
# e.g. scripts/scan.sh --rows 7,8,9 --utf8
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
bash scripts/build.sh >/dev/null
. scripts/wine-env.sh
export WINEPREFIX=${WINEPREFIX:-$HOME/.wine}
tw_make_prefix "$WINEPREFIX"
# The prefix says its own kind: Wine refuses to start in a 64-bit one (what most users have)
# when told win32.
unset WINEARCH
exec env LANG="$TW_LOCALE" LC_ALL="$TW_LOCALE" wine build/tarnwell-scan.exe "$@"
