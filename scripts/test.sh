#!/usr/bin/env bash
# Runs every test: installs what is missing, builds, makes the test prefix, runs ctest
# through Wine on a virtual display.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
bash scripts/build.sh
. scripts/wine-env.sh
export TW_TEST_PREFIX=$root/build/wineprefix
# The folders scripts/wine-run.sh gives every test: the prefixes made here link their Desktop there.
tw_scratch_xdg "$root/build/test-xdg-data" "$root/build/test-xdg-config"
tw_make_prefix "$TW_TEST_PREFIX"
# A 64-bit prefix as Wine makes it by default, kept untouched: the tests that need a fresh one
# copy it, which is much faster than booting another.
export TW_TEST_PREFIX64=$root/build/wineprefix64
tw_make_prefix "$TW_TEST_PREFIX64" win64
# The tests see Windows XP unless a test asks for another version.
WINEPREFIX=$TW_TEST_PREFIX wine reg add 'HKCU\Software\Wine' /v Version /d winxp /f >/dev/null 2>&1 || true
TW_XVFB_PID=
tw_ensure_display
# Wine's desktop lives as long as the prefix's server and keeps the display it started on:
# start both afresh so that every test's windows open on this display.
WINEPREFIX=$TW_TEST_PREFIX wineserver -k 2>/dev/null || true
WINEPREFIX=$TW_TEST_PREFIX wineserver -w 2>/dev/null || true
trap '[ -n "${TW_XVFB_PID}" ] && kill "${TW_XVFB_PID}" 2>/dev/null; WINEPREFIX=$TW_TEST_PREFIX wineserver -k 2>/dev/null || true' EXIT
cd build
ctest --output-on-failure -j2 "$@"
