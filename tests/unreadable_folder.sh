#!/usr/bin/env bash
# A folder the user cannot read (access denied, not missing): the scanners must answer "cannot
# tell" for everything in it. Tests run as root, who reads any folder; the case is run without
# the capabilities that let root past a folder's permissions, as a normal user runs the program.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
exe=${1:-$root/build/test_registry_scanners.exe}
prefix=${TW_TEST_PREFIX:-$root/build/wineprefix}
name=twlocked-$$
dir=$prefix/drive_c/$name
trap 'chmod 755 "$dir" 2>/dev/null; rm -rf "$dir"' EXIT
mkdir -p "$dir"
for f in app.exe face.ttf there.hlp; do echo x > "$dir/$f"; done
chmod 000 "$dir"
run=(env TW_UNREADABLE="C:\\$name" timeout 120 bash "$root/scripts/wine-run.sh" "$exe" -tc='*cannot read*')
if [ "$(id -u)" = 0 ]; then
    command -v capsh >/dev/null || { echo "capsh (libcap2-bin) is missing"; exit 1; }
    out=$(capsh --drop=cap_dac_override,cap_dac_read_search -- -c "$(printf '%q ' "${run[@]}")" 2>&1) || {
        echo "$out"; exit 1; }
else
    out=$("${run[@]}" 2>&1) || { echo "$out"; exit 1; }
fi
echo "$out" | tail -n 3
echo "$out" | grep -q 'test cases: *1 | *1 passed' || { echo "the case did not run"; exit 1; }
exit 0
