#!/usr/bin/env bash
# Starts Tarnwell: installs what is missing, builds the program and its guide if needed, and
# runs the program under Wine in the user's prefix (WINEPREFIX, default ~/.wine, as Wine itself
# does), from the prefix's program folder, so that its data (undo files, repair log, ignore list,
# backup) stays in the prefix and never in the checkout, where wiping build/ would take it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
echo "Building Tarnwell (the program and its guide)..."
bash scripts/build.sh --target tarnwell
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
# The prefix says its own kind: Wine refuses to start in a 64-bit one (what most users have)
# when told win32.
unset WINEARCH
# The folder the console scanner of scripts/sweep.sh uses too: both share the prefix's data.
# Copied beside, then renamed, so that a Tarnwell already running keeps its own file.
folder=$(tw_prefix_program_folder "$WINEPREFIX")
dir="$WINEPREFIX/drive_c/${folder//\\//}"
mkdir -p "$dir"
for f in tarnwell.exe Kivcc.chm; do
    cmp -s "build/$f" "$dir/$f" || { cp "build/$f" "$dir/.$f.new" && mv -f "$dir/.$f.new" "$dir/$f"; }
done
if [ -f "$dir/uninst.exe" ]; then
    # The setup installed Tarnwell there: an installed copy keeps its data per user.
    users=("$WINEPREFIX"/drive_c/users/*/AppData/Roaming)
    echo "Tarnwell (C:\\$folder\\tarnwell.exe, the setup's copy, now this build) keeps its data in the"
    echo "user's Application Data folder, ${users[0]}/Tarnwell."
else
    echo "Tarnwell runs from C:\\$folder and keeps its data beside itself: $dir"
fi
echo "(The history window and the undo-files window show the folder.)"
exec env LANG="$TW_LOCALE" LC_ALL="$TW_LOCALE" wine "C:\\$folder\\tarnwell.exe"
