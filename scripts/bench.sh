#!/usr/bin/env bash
# Builds one benchmark and runs it under Wine in the test prefix:
#   scripts/bench.sh [NAME] [ARGS...]
# NAME is a benchmark of bench/ without "bench_" (default hive_scan); the other arguments go to
# it (hive_scan: [keys [values]] [--mix clean|dirty|both] [--parts N] [--split] [--reopen]
# [--reps N], default 50000 keys, 150000 values in 5 parts, both mixes;
# window_scan: [keys] [--values-per-key N] [--reps N], default 30000 keys, 4 values each).
# The scratch registry tree and the scratch files are removed afterwards, also after a failure.
#   TW_BUILD_DIR    build directory (default: build)
#   TW_TEST_PREFIX  Wine prefix to run in (default: <build>/wineprefix, made when missing)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${TW_BUILD_DIR:-$root/build}
case $build in /*) ;; *) build=$root/$build ;; esac

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
          -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
name=hive_scan
if [ $# -gt 0 ] && [ -f "bench/bench_$1.cpp" ]; then name=$1; shift; fi
cmake --build "$build" --target "bench_$name" -j"$(nproc)" >/dev/null

. scripts/wine-env.sh
export TW_TEST_PREFIX=${TW_TEST_PREFIX:-$build/wineprefix}
tw_make_prefix "$TW_TEST_PREFIX"
TW_XVFB_PID=
tw_ensure_display

cleanup() {
    WINEPREFIX=$TW_TEST_PREFIX wine reg delete 'HKCU\Software\TarnwellBench' /f >/dev/null 2>&1 || true
    rm -rf "$TW_TEST_PREFIX/drive_c/twbench"
    if [ -n "${TW_XVFB_PID}" ]; then kill "${TW_XVFB_PID}" 2>/dev/null || true; fi
}
trap cleanup EXIT

bash scripts/wine-run.sh "$build/bench_$name.exe" "$@"
