#!/usr/bin/env bash
# Installs everything the build, the program and the tests need on a fresh Debian machine:
# the MinGW-w64 cross compiler, 32-bit Wine, Xvfb, the zh_CN.UTF-8 locale (so Wine's ANSI code
# page is 936), a CJK font, the help compiler (fp-utils' chmcmd) with a reader of its output
# (libchm-bin), the builders of the MSI packages and setups the installer tests install (wixl,
# nsis), Wine's own fonts (fonts-wine, which Wine recommends and most systems have), and what the
# Debian package's test uses: lintian, man-db, Ansible with the apt module's python3-apt.
# Idempotent: when everything is there it returns in about a second.
set -euo pipefail

need_pkgs=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
    APT_STALE=1
fi

for p in mingw-w64 wine wine32:i386 wine64 xvfb xauth locales fonts-wqy-microhei imagemagick \
         doctest-dev xdotool x11-utils cmake make fp-utils libchm-bin libcap2-bin wixl nsis \
         fonts-wine lintian man-db ansible-core python3-apt; do
    have "$p" || need_pkgs+=("$p")
done
# The Windows packages (scripts/package-windows.sh): the setup's compiler and the portable zip.
for p in nsis zip; do
    have "$p" || need_pkgs+=("$p")
done

if [ ${#need_pkgs[@]} -gt 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -qq
    $SUDO apt-get install -y -qq --no-install-recommends "${need_pkgs[@]}" >/dev/null
fi
: "${APT_STALE:=0}"

if ! locale -a 2>/dev/null | grep -qi '^zh_CN.utf8$'; then
    $SUDO sed -i 's/^# *zh_CN.UTF-8/zh_CN.UTF-8/' /etc/locale.gen
    grep -q '^zh_CN.UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
    $SUDO locale-gen >/dev/null
fi
