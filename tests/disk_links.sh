#!/usr/bin/env bash
# The walks meet a folder link that leads back up the tree. Wine cannot make such a link from
# inside the prefix, so this script makes it on the host side, in the test prefix's C:, and runs
# the link test of the disk-scanner tests against it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
exe=${1:-$root/build/test_disk_scanners.exe}
prefix=${TW_TEST_PREFIX:-$root/build/wineprefix}
name=twlinks-$$
dir=$prefix/drive_c/$name
host=$(mktemp -d /tmp/tw-desktop-XXXXXX)
trap 'rm -rf "$dir" "$host"' EXIT
mkdir -p "$dir/sub/empty" "$host/sub"
ln -s .. "$dir/sub/up"
# A desktop folder that is a link to a folder of the host, as Wine makes the user's Desktop.
ln -s "$host" "$dir/Desktop"
out=$(TW_LINK_LOOP="C:\\$name" timeout 120 bash "$root/scripts/wine-run.sh" "$exe" -tc='*folder link*' 2>&1) || {
    echo "$out"; exit 1; }
echo "$out" | tail -n 3
# The case must have run its checks, not merely been found.
echo "$out" | grep -q 'test cases: *1 | *1 passed' || { echo "the link test did not run"; exit 1; }
exit 0
