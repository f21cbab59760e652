#!/usr/bin/env bash
# Starts Tarnwell: installs what is missing, builds the program and its guide if needed (and only
# those), and runs the program under Wine in the user's prefix (WINEPREFIX, default ~/.wine, as
# Wine itself does) from the prefix's program folder, so that its data (undo files, repair log,
# ignore list, backup) stays in the prefix and never in the checkout, where wiping build/ would
# take it: the command tarnwell from the checkout.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
echo "Building Tarnwell (the program and its guide)..."
bash scripts/build.sh --target tarnwell
exec bash linux/tarnwell.sh window
