#!/usr/bin/env bash
# Makes the release packages in dist/: the Windows setup and portable zip, and the Debian
# package for Wine users. Each kind has a script of its own; this runs those that exist.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
mkdir -p dist
for kind in windows deb; do
    if [ -f "scripts/package-$kind.sh" ]; then
        bash "scripts/package-$kind.sh" "$@"
    fi
done
