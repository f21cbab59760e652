#!/usr/bin/env bash
# Makes the Debian package dist/tarnwell_<version>_all.deb (TW_DIST names another folder): the
# program, the console scanner and the guide (Kivcc.chm, Kivcc-en.chm and their pages as plain
# HTML in help/zh and help/en) in /usr/lib/tarnwell with the commands' one implementation
# (linux/tarnwell.sh), the commands tarnwell, tarnwell-scan and tarnwell-sweep
# linked to it, their manual pages, bash completion, the menu entry and the icon. The version is
# the program's own, from res/version.h; the row numbers the completion offers are the checklist's,
# from src/scan/ScanCategories.h.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
out=${TW_DIST:-$root/dist}
umask 022
bash scripts/build.sh --target tarnwell --target tarnwell-scan >/dev/null

version=$(sed -n 's/^#define TW_VERSION_STR "\(.*\)"$/\1/p' res/version.h)
[ -n "$version" ] || { echo "no version in res/version.h" >&2; exit 1; }
rows=$(sed -n 's/^ *kRow[A-Za-z]* = \([0-9]*\),\{0,1\}$/\1/p' src/scan/ScanCategories.h | sort -n | tr '\n' ' ')
[ -n "$rows" ] || { echo "no checklist rows in src/scan/ScanCategories.h" >&2; exit 1; }
# Dates in the package are the last change's, so that the same sources make the same package.
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || stat -c %Y res/version.h)}

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
pkg=$stage/tarnwell
lib=$pkg/usr/lib/tarnwell share=$pkg/usr/share
install -d "$lib" "$pkg/usr/bin" "$share/man/man1" "$share/bash-completion/completions" "$share/applications" \
    "$share/doc/tarnwell" "$pkg/DEBIAN"
install -m 644 build/tarnwell.exe build/tarnwell-scan.exe build/Kivcc.chm build/Kivcc-en.chm "$lib/"
for lang in zh en; do
    install -d "$lib/help/$lang"
    install -m 644 build/help/$lang/* "$lib/help/$lang/"
done
sed "s/@TW_VERSION@/$version/" linux/tarnwell.sh >"$lib/tarnwell.sh"
chmod 755 "$lib/tarnwell.sh"
for c in tarnwell tarnwell-scan tarnwell-sweep; do
    ln -s ../lib/tarnwell/tarnwell.sh "$pkg/usr/bin/$c"
    gzip -9n <"linux/$c.1" >"$share/man/man1/$c.1.gz"
done
# bash-completion loads a command's completion from a file named after it.
sed "s/@TW_ROWS@/${rows% }/" linux/tarnwell.bash-completion >"$share/bash-completion/completions/tarnwell"
chmod 644 "$share/bash-completion/completions/tarnwell"
ln -s tarnwell "$share/bash-completion/completions/tarnwell-scan"
ln -s tarnwell "$share/bash-completion/completions/tarnwell-sweep"
install -m 644 linux/tarnwell.desktop "$share/applications/"
# The program's icon, at each size it holds.
i=0
for size in 16 32 48; do
    install -d "$share/icons/hicolor/${size}x$size/apps"
    convert "res/art/app.ico[$i]" -strip "PNG32:$share/icons/hicolor/${size}x$size/apps/tarnwell.png"
    i=$((i + 1))
done
# The years of the sources' history.
first=$(git log --format=%ad --date=format:%Y 2>/dev/null | tail -n 1) || first=
last=$(date -u -d "@$SOURCE_DATE_EPOCH" +%Y)
years=${first:-$last}
[ "$years" = "$last" ] || years+=-$last
sed "s/@YEARS@/$years/" linux/copyright >"$share/doc/tarnwell/copyright"
chmod 644 "$share/doc/tarnwell/copyright"
{
    printf 'tarnwell (%s) unstable; urgency=medium\n\n  * Release %s.\n\n' "$version" "$version"
    printf ' -- Tarnwell developers <tarnwell@example.com>  %s\n' "$(date -R -u -d "@$SOURCE_DATE_EPOCH")"
} | gzip -9n >"$share/doc/tarnwell/changelog.gz"
find "$pkg" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +

size=$(du -sk --exclude=DEBIAN "$pkg" | cut -f1)
sed -e "s/@VERSION@/$version/" -e "s/@SIZE@/$size/" linux/control >"$pkg/DEBIAN/control"
(cd "$pkg" && find usr -type f -print0 | LC_ALL=C sort -z | xargs -0 md5sum) >"$pkg/DEBIAN/md5sums"
chmod 644 "$pkg/DEBIAN/control" "$pkg/DEBIAN/md5sums"
mkdir -p "$out"
dpkg-deb --root-owner-group -Zxz --build "$pkg" "$out/tarnwell_${version}_all.deb" >/dev/null
echo "$out/tarnwell_${version}_all.deb"
