#!/usr/bin/env bash
# Starts Tarnwell: installs what is missing, builds if needed, and runs the program under Wine
# in the user's prefix (WINEPREFIX, default ~/.wine, as Wine itself does).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
bash scripts/build.sh >/dev/null
. scripts/wine-env.sh
export WINEPREFIX=${WINEPREFIX:-$HOME/.wine}
if [ -z "${DISPLAY:-}" ]; then
    cat >&2 <<'MSG'
Tarnwell is a window program and needs a display, but DISPLAY is not set.
  - On a desktop, run this from a terminal of your graphical session.
  - Over SSH, connect with X forwarding (ssh -X) and run it again.
  - Without any screen, start a virtual one and look at it with a screenshot:
        Xvfb :99 -screen 0 1024x768x24 &  DISPLAY=:99 scripts/run.sh &
        DISPLAY=:99 import -window root shot.png
  - For a scan without a window, use the console scanner: scripts/scan.sh
MSG
    exit 2
fi
tw_make_prefix "$WINEPREFIX"
exec env LANG="$TW_LOCALE" LC_ALL="$TW_LOCALE" wine build/tarnwell.exe
