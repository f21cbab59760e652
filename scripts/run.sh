#!/usr/bin/env bash
# Starts Tarnwell: installs what is missing, builds if needed, and runs the program under Wine
# in the user's prefix (WINEPREFIX, default ~/.wine, as Wine itself does): the command tarnwell
# from the checkout.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
bash scripts/build.sh >/dev/null
exec bash linux/tarnwell.sh window
