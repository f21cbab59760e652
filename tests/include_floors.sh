#!/usr/bin/env bash
# The floors of the sources: a file includes its own floor and the floors below, never one above.
# Fails with every include that points upwards.
set -uo pipefail
src=$(cd "$(dirname "$0")/../src" && pwd)
declare -A allowed=(
    [platform]="platform"
    [scanners]="platform scanners"
    [scan]="platform scanners scan"
    [repair]="platform scanners repair"
    [wording]="platform scanners scan repair wording"
    [app]="platform scanners scan repair wording app"
    [cli]="platform scanners scan repair wording cli"
)
bad=0
for floor in "${!allowed[@]}"; do
    [ -d "$src/$floor" ] || continue
    while IFS= read -r line; do
        file=${line%%:*}
        target=$(sed -n 's/^[[:space:]]*#include "\([^"/]*\)\/.*/\1/p' <<<"${line#*:*:}")
        [ -n "$target" ] || continue
        case " ${allowed[$floor]} " in
            *" $target "*) ;;
            *) echo "upward include in ${file#$src/}: ${line#*:*:}"; bad=1 ;;
        esac
    done < <(grep -rn '^[[:space:]]*#include "' "$src/$floor" --include='*.h' --include='*.cpp')
done
[ "$bad" = 0 ] && echo "every include points to its own floor or below"
exit "$bad"
