#!/usr/bin/env bash
# Runs the console scanner (no window needed) in the user's Wine prefix; arguments go to it,
# e.g. scripts/scan.sh --rows 7,8,9. The command tarnwell-scan from the checkout.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
bash scripts/build.sh >/dev/null
exec bash linux/tarnwell.sh scan "$@"
