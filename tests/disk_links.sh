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
trap 'rm -rf "$dir"' EXIT
mkdir -p "$dir/sub/empty"
ln -s .. "$dir/sub/up"
out=$(TW_LINK_LOOP="C:\\$name" timeout 120 bash "$root/scripts/wine-run.sh" "$exe" -tc='*folder link*' 2>&1) || {
    echo "$out"; exit 1; }
echo "$out" | tail -n 3
# The case must have run its checks, not merely been found.
echo "$out" | grep -q 'test cases: *1 | *1 passed' || { echo "the link test did not run"; exit 1; }
exit 0
