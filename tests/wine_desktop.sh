#!/usr/bin/env bash
# Wine's leftovers on the Linux desktop: planted host files, then a real round trip through
# Wine's menu builder in a scratch prefix that is deleted afterwards. XDG_DATA_HOME and
# XDG_CONFIG_HOME point at scratch folders for every Wine process here, so nothing is read from
# or written to the real home's menus, and the trash that repair fills is the scratch one.
#   wine_desktop.sh WINE_DESKTOP_TEST.exe
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/wine-env.sh"
scratch=$(mktemp -d /tmp/tw-wine-desktop-XXXXXX)
app=$scratch/app-prefix
trap 'WINEPREFIX=$app wineserver -k 2>/dev/null || true; rm -rf "$scratch"' EXIT
mkdir -p "$scratch/data" "$scratch/config"
# The repair log goes beside the exe: a copy in the scratch folder keeps it there.
cp "$1" "$scratch/wine_desktop.exe"
export TW_WINE_SCRATCH=$scratch TW_TEST_XDG_DATA=$scratch/data TW_TEST_XDG_CONFIG=$scratch/config
export XDG_DATA_HOME=$scratch/data XDG_CONFIG_HOME=$scratch/config
touch "$scratch/marker"
run() { timeout 300 bash "$root/scripts/wine-run.sh" "$scratch/wine_desktop.exe" "$@" 2>&1; }
expect_ran() {  # the case ran its checks, not merely was found
    echo "$1" | grep -q "test cases: *$2 | *$2 passed" || { echo "$1"; echo "expected $2 passing cases"; exit 1; }
    if echo "$1" | grep -q 'the case runs from\|round trip runs from'; then echo "$1"; echo "a case was skipped"; exit 1; fi
}

out=$(run -tc='Exec lines*,planted*') || { echo "$out"; exit 1; }
expect_ran "$out" 2

# Round trip: Wine's menu builder (which the tests otherwise keep off) writes the launcher of a
# shortcut saved in a prefix of its own; the prefix is deleted; the test prefix's scan reports it.
tw_make_prefix "$app"
out=$(TW_TEST_PREFIX=$app WINEDLLOVERRIDES="mscoree,mshtml=" TW_WINE_MAKE_SHORTCUT=1 run -tc='round trip*') || {
    echo "$out"; exit 1; }
WINEPREFIX=$app wineserver -w
launcher=$scratch/data/applications/wine/Programs/TwRoundTrip/Tw\ App.desktop
[ -f "$launcher" ] || { echo "Wine's menu builder wrote no launcher:"; find "$scratch/data" "$scratch/config"; exit 1; }
grep '^Exec=' "$launcher"
WINEPREFIX=$app wineserver -k 2>/dev/null || true
rm -rf "$app"
out=$(TW_WINE_LAUNCHER=$launcher run -tc='round trip*') || { echo "$out"; exit 1; }
expect_ran "$out" 1
[ ! -e "$launcher" ] || { echo "the launcher is still there"; exit 1; }

# Nothing of the real home's menus, associations or trash changed.
changed=$(find "$HOME/.local/share/applications" "$HOME/.local/share/desktop-directories" \
    "$HOME/.local/share/mime" "$HOME/.local/share/Trash" "$HOME/.config/menus" -newer "$scratch/marker" 2>/dev/null || true)
[ -z "$changed" ] || { echo "written outside the scratch folders:"; echo "$changed"; exit 1; }
echo "wine desktop leftovers: ok"
