#!/usr/bin/env bash
# Wine's leftovers on the Linux desktop: planted host files, a real round trip through Wine's
# menu builder in a scratch prefix that is deleted afterwards, and the console scanner's dry run
# and repair. HOME, XDG_DATA_HOME and XDG_CONFIG_HOME point at scratch folders for every Wine
# process here, so nothing is read from or written to the real home's menus, desktop and trash.
# What Wine cannot make is planted here on the host: symbolic links, and folders and files the
# user cannot read, which the cases meet as a user who is not root would.
#   wine_desktop.sh WINE_DESKTOP_TEST.exe [TARNWELL_SCAN.exe]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/wine-env.sh"
real_home=$HOME
scratch=$(mktemp -d /tmp/tw-wine-desktop-XXXXXX)
app=$scratch/app-prefix
# A copy of the test prefix, whose Wine server this script starts itself: Wine's server opens the
# files, and one that another test started with root's override of file permissions would read
# what the user here cannot.
test_prefix=$scratch/prefix
trap 'WINEPREFIX=$app wineserver -k 2>/dev/null || true; WINEPREFIX=$test_prefix wineserver -k 2>/dev/null || true
      chmod -R u+rwX "$scratch" 2>/dev/null; rm -rf "$scratch"' EXIT
cp -a "${TW_TEST_PREFIX:-$root/build/wineprefix}" "$test_prefix"
export TW_TEST_PREFIX=$test_prefix
data=$scratch/data config=$scratch/config
mkdir -p "$data/applications/wine/Programs/Locked" "$config/menus/applications-merged" "$scratch/home/Schreibtisch" \
    "$scratch/other-prefix" "$scratch/trash-locked/data/Trash/files" "$scratch/trash-locked/data/Trash/info"
# As xdg-user-dirs writes it: the desktop folder relative to the home folder.
printf 'XDG_DESKTOP_DIR="$HOME/Schreibtisch"\n' >"$config/user-dirs.dirs"
# The repair log goes beside the exe: a copy in the scratch folder keeps it there.
cp "$1" "$scratch/wine_desktop.exe"
export HOME=$scratch/home TW_WINE_SCRATCH=$scratch TW_TEST_XDG_DATA=$data TW_TEST_XDG_CONFIG=$config
export XDG_DATA_HOME=$data XDG_CONFIG_HOME=$config
touch "$scratch/marker"

# launcher PREFIX: a launcher as Wine writes it, of a shortcut C:\x.lnk of that prefix.
launcher() { printf '%s\n' '[Desktop Entry]' 'Name=X' "Exec=env WINEPREFIX=\"$1\" wine C:\\\\\\\\x.lnk" 'Type=Application'; }
menus=$config/menus/applications-merged
touch "$scratch/other-prefix/system.reg"
launcher "$scratch/other-prefix" >"$data/applications/wine/Programs/Locked/Valid.desktop"
chmod 000 "$data/applications/wine/Programs/Locked"
echo '<Menu/>' >"$menus/wine-Programs-Unread-App.menu"
chmod 000 "$menus/wine-Programs-Unread-App.menu"
ln -s "$scratch/nowhere.menu" "$menus/wine-Programs-Dangle-App.menu"
launcher "$scratch/gone-prefix" >"$data/applications/wine-extension-unr.desktop"
chmod 000 "$data/applications/wine-extension-unr.desktop"
launcher "$scratch/gone-prefix" >"$scratch/outside.desktop"
ln -s "$scratch/outside.desktop" "$data/applications/wine/Programs/Linked.desktop"
ln -s "$test_prefix" "$scratch/prefix-link"
chmod 555 "$scratch/trash-locked/data/Trash/info"

# as_user COMMAND...: as a user runs it, without root's override of file permissions.
as_user() {
    if [ "$(id -u)" = 0 ]; then
        command -v capsh >/dev/null || { echo "capsh (libcap2-bin) is missing"; exit 1; }
        capsh --drop=cap_dac_override,cap_dac_read_search -- -c "$(printf '%q ' "$@")"
    else
        "$@"
    fi
}
run() { as_user timeout 300 bash "$root/scripts/wine-run.sh" "$scratch/wine_desktop.exe" "$@" 2>&1; }
expect_ran() {  # the cases ran their checks: a case skipped for want of what the script made is not counted
    echo "$1" | grep -q "test cases: *$2 | *$2 passed | *0 failed" || { echo "$1"; echo "expected $2 passing cases"; exit 1; }
}

out=$(run -tc='Exec lines*,planted*,the desktop*,a trash*') || { echo "$out"; exit 1; }
expect_ran "$out" 4
[ -f "$scratch/outside.desktop" ] || { echo "the file a launcher link leads to is gone"; exit 1; }
chmod 755 "$data/applications/wine/Programs/Locked"
[ -f "$data/applications/wine/Programs/Locked/Valid.desktop" ] || { echo "a launcher nobody could read is gone"; exit 1; }

# Round trip: Wine's menu builder (which the tests otherwise keep off) writes the launchers of a
# Start-menu and a desktop shortcut saved in a prefix of its own, with XDG folders of their own;
# the prefix is deleted; the test prefix's scan reports them, repair all, and nothing is left.
rt_data=$scratch/rt-data rt_config=$scratch/rt-config
mkdir -p "$rt_data" "$rt_config" "$HOME/RtDesk"
printf 'XDG_DESKTOP_DIR="$HOME/RtDesk"\n' >"$rt_config/user-dirs.dirs"
XDG_DATA_HOME=$rt_data XDG_CONFIG_HOME=$rt_config tw_make_prefix "$app"
out=$(TW_TEST_PREFIX=$app TW_TEST_XDG_DATA=$rt_data TW_TEST_XDG_CONFIG=$rt_config WINEDLLOVERRIDES="mscoree,mshtml=" \
    TW_WINE_MAKE_SHORTCUT=1 run -tc='round trip*') || { echo "$out"; exit 1; }
WINEPREFIX=$app wineserver -w
rt_launcher=$rt_data/applications/wine/Programs/TwRoundTrip/Tw\ App.desktop
rt_desktop=$HOME/RtDesk/Tw\ Desk.desktop
[ -f "$rt_launcher" ] && [ -f "$rt_desktop" ] || {
    echo "Wine's menu builder wrote no launcher:"; find "$rt_data" "$rt_config" "$HOME"; exit 1; }
grep '^Exec=' "$rt_launcher" "$rt_desktop"
WINEPREFIX=$app wineserver -k 2>/dev/null || true
rm -rf "$app"
out=$(TW_TEST_XDG_DATA=$rt_data TW_TEST_XDG_CONFIG=$rt_config TW_WINE_LAUNCHER=$rt_launcher \
    TW_WINE_DESKTOP_FILE=$rt_desktop run -tc='round trip*') || { echo "$out"; exit 1; }
expect_ran "$out" 1

# The console scanner: --repair --dry-run says what the repair would do and moves nothing;
# --repair moves it and brings the desktop's MIME cache up to date, as the window does.
if [ -n "${2:-}" ]; then
    c_data=$scratch/console-data
    mkdir -p "$c_data/applications/wine" "$c_data/mime/packages"
    launcher "$scratch/gone-prefix" >"$c_data/applications/wine/C.desktop"
    printf '%s\n' '[Desktop Entry]' 'MimeType=application/x-wine-extension-cgo;' \
        "Exec=env WINEPREFIX=\"$scratch/gone-prefix\" wine start /ProgIDOpen Cgo.Doc %f" \
        >"$c_data/applications/wine-extension-cgo.desktop"
    printf '%s\n' '<mime-info><mime-type type="application/x-wine-extension-cgo"><glob pattern="*.cgo"/></mime-type></mime-info>' \
        >"$c_data/mime/packages/x-wine-extension-cgo.xml"
    cp "$2" "$scratch/tarnwell-scan.exe"
    mkdir -p "$scratch/console-config"
    console() { as_user env TW_TEST_XDG_DATA="$c_data" TW_TEST_XDG_CONFIG="$scratch/console-config" timeout 300 bash "$root/scripts/wine-run.sh" \
        "$scratch/tarnwell-scan.exe" --utf8 "$@" 2>"$scratch/console.err"; }
    row=$(console --list-rows | tr -d '\r' | awk -F'\t' '/Wine/ { print $1 }')
    out=$(console --rows "$row" --repair --dry-run | tr -d '\r') || { echo "$out"; cat "$scratch/console.err"; exit 1; }
    [ "$(grep -c $'\twould-delete$' <<<"$out")" -eq 3 ] || { echo "dry run:"; echo "$out"; exit 1; }
    for f in applications/wine/C.desktop applications/wine-extension-cgo.desktop mime/packages/x-wine-extension-cgo.xml; do
        grep -qxF $'\t'"$c_data/$f" <<<"$out" || { echo "the dry run does not name $f:"; echo "$out"; exit 1; }
        [ -f "$c_data/$f" ] || { echo "the dry run moved $f"; exit 1; }
    done
    out=$(console --rows "$row" --repair | tr -d '\r') || { echo "$out"; cat "$scratch/console.err"; exit 1; }
    [ "$(grep -c $'\trepaired$' <<<"$out")" -eq 3 ] || { echo "repair:"; echo "$out"; exit 1; }
    [ -f "$c_data/Trash/files/C.desktop" ] || { echo "the launcher is not in the trash"; exit 1; }
    if [ -x /usr/bin/update-mime-database ]; then
        for _ in $(seq 50); do [ -f "$c_data/mime/mime.cache" ] && break; sleep 0.2; done
        [ -f "$c_data/mime/mime.cache" ] || { echo "the console's repair did not bring the MIME cache up to date"; exit 1; }
    fi
fi

# Nothing of the real home's menus, associations, desktop or trash changed.
changed=$(find "$real_home/.local/share/applications" "$real_home/.local/share/desktop-directories" \
    "$real_home/.local/share/mime" "$real_home/.local/share/icons" "$real_home/.local/share/Trash" \
    "$real_home/.config/menus" "$real_home/Desktop" -newer "$scratch/marker" 2>/dev/null || true)
[ -z "$changed" ] || { echo "written outside the scratch folders:"; echo "$changed"; exit 1; }
echo "wine desktop leftovers: ok"
