#!/usr/bin/env bash
# Builds one benchmark and runs it under Wine in the test prefix:
#   scripts/bench.sh [NAME] [ARGS...]
# NAME is a benchmark of bench/ without "bench_" (default hive_scan); the other arguments go to
# it (hive_scan: [keys [values]] [--mix clean|dirty|both] [--parts N] [--split] [--reopen]
# [--reps N], default 50000 keys, 150000 values in 5 parts, both mixes;
# window_scan: [keys] [--values-per-key N] [--reps N], default 30000 keys, 4 values each;
# machine_scan: [--factor F] [--rounds N] [--no-window] [--window-only] [--only ROW,ROW]
# [--versus-rows ROW,ROW], default factor 1,
# 5 rounds).
# The scratch registry tree and the scratch files are removed afterwards, also after a failure.
# machine_scan runs in its own scratch prefix, <build>/benchprefix, a copy of the test prefix that
# keeps its generated data set between runs; it is made again when it holds another data set.
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

if [ "$name" = machine_scan ]; then
    bench_prefix=$build/benchprefix
    fresh_bench_prefix() {
        WINEPREFIX=$bench_prefix wineserver -k >/dev/null 2>&1 || true
        rm -rf "$bench_prefix"
        WINEPREFIX=$TW_TEST_PREFIX wineserver -w || true
        cp -a "$TW_TEST_PREFIX" "$bench_prefix"
    }
    [ -f "$bench_prefix/system.reg" ] || fresh_bench_prefix
    run_bench() { TW_TEST_PREFIX=$bench_prefix bash scripts/wine-run.sh "$build/bench_$name.exe" "$@"; }
    status=0
    run_bench "$@" --generate-only || status=$?
    if [ "$status" = 3 ]; then
        fresh_bench_prefix
        status=0
        run_bench "$@" --generate-only || status=$?
    fi
    # Wine saves its registry soon after its server starts and after the data set is written;
    # the save holds the window as much as any process of the prefix, so it is over before
    # anything is timed.
    # The benchmark reads how long the prefix's Wine server waited for a processor: the server
    # works in a folder named after the prefix's device and inode.
    server_pid() {
        local dir p
        dir=server-$(printf '%x-%x' "$(stat -c %d "$1")" "$(stat -c %i "$1")")
        for p in $(pgrep -u "$(id -u)" wineserver); do
            case $(readlink "/proc/$p/cwd" 2>/dev/null) in */"$dir") echo "$p"; return ;; esac
        done
    }
    [ "$status" = 0 ] && tw_settle_prefix "$bench_prefix" &&
        { TW_BENCH_SERVER_PID=$(server_pid "$bench_prefix") run_bench "$@" || status=$?; }
    WINEPREFIX=$bench_prefix wineserver -k >/dev/null 2>&1 || true
    exit "$status"
fi
bash scripts/wine-run.sh "$build/bench_$name.exe" "$@"
