#!/usr/bin/env bash
# The Wine environment of the scripts: sourcing it prints nothing in a shell that cannot load
# the program's locale (as on a fresh machine, where the locale is generated after the shell
# started; LOCPATH pointing at an empty folder stands for that here), and every Wine command
# still runs with the locale.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
stub=$(mktemp -d)
trap 'rm -rf "$stub"' EXIT
mkdir "$stub/bin" "$stub/locales"
for cmd in wine wineboot wineserver; do
    printf '#!/bin/sh\necho "%s $LANG $LC_ALL"\n' "$cmd" >"$stub/bin/$cmd"
    chmod +x "$stub/bin/$cmd"
done
script='. "$1/scripts/wine-env.sh"; wine; wineboot; wineserver; tw_env wine; env | grep -c "^LC_ALL=" || true'
err=$(PATH="$stub/bin:$PATH" LOCPATH="$stub/locales" bash -c "$script" _ "$root" 2>&1 >/dev/null)
[ -z "$err" ] || { echo "the environment printed: $err"; exit 1; }
out=$(PATH="$stub/bin:$PATH" LOCPATH="$stub/locales" bash -c "$script" _ "$root" 2>/dev/null)
expected="wine zh_CN.UTF-8 zh_CN.UTF-8
wineboot zh_CN.UTF-8 zh_CN.UTF-8
wineserver zh_CN.UTF-8 zh_CN.UTF-8
wine zh_CN.UTF-8 zh_CN.UTF-8
0"
[ "$out" = "$expected" ] || { printf 'the Wine commands saw:\n%s\n' "$out"; exit 1; }
echo "no locale warning; the Wine commands run with zh_CN.UTF-8"
