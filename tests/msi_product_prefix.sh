#!/usr/bin/env bash
# A real MSI package, built here with wixl and installed per machine by the prefix's own
# msiexec, in scratch copies of the 32- and 64-bit test prefixes: installed and kept, the
# console scanner's uninstall row reports nothing new; with the program folder deleted by hand,
# it reports the product's entry; repaired (PRODUCT_TEST.exe), the installer removes the product
# and Wine's uninstaller no longer lists it.
#   msi_product_prefix.sh PRODUCT_TEST.exe TARNWELL_SCAN.exe
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
product_test=$1 scan=$2
. "$root/scripts/wine-env.sh"
command -v wixl >/dev/null || { echo "wixl is missing: run scripts/setup.sh"; exit 1; }
work=$(mktemp -d /tmp/tw-msi-XXXXXX)
cleanup() {
    local p
    for p in "$work"/win*; do
        if [ -d "$p" ]; then WINEPREFIX=$p wineserver -k 2>/dev/null || true; fi
    done
    rm -rf "$work"
}
trap cleanup EXIT
code='{5A2C7E31-0B4D-4F6A-9C1E-2D3B4A5F6071}'
cat >"$work/probe.wxs" <<EOF
<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="$code" Name="Tw Msi Probe" Language="1033" Version="1.0.0" Manufacturer="Tw Test"
           UpgradeCode="{5A2C7E31-0B4D-4F6A-9C1E-2D3B4A5F6072}">
    <Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine"/>
    <Media Id="1" Cabinet="probe.cab" EmbedCab="yes"/>
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="ProgramFilesFolder">
        <Directory Id="INSTALLDIR" Name="TwMsiProbe">
          <Component Id="Main" Guid="{5A2C7E31-0B4D-4F6A-9C1E-2D3B4A5F6073}">
            <File Id="ReadMe" Name="readme.txt" Source="readme.txt" KeyPath="yes"/>
          </Component>
        </Directory>
      </Directory>
    </Directory>
    <Feature Id="All" Level="1"><ComponentRef Id="Main"/></Feature>
  </Product>
</Wix>
EOF
echo probe >"$work/readme.txt"
(cd "$work" && wixl -o probe.msi probe.wxs)

# The installer's record of the product, under its packed code.
record='HKLM\Software\Microsoft\Windows\CurrentVersion\Installer\UserData\S-1-5-18\Products\13E7C2A5D4B0A6F4C9E1D2B3A4F50617'
fail() { echo "$arch: $*"; exit 1; }
for arch in win32 win64; do
    if [ $arch = win32 ]; then template=${TW_TEST_PREFIX:-}; else template=${TW_TEST_PREFIX64:-}; fi
    [ -n "$template" ] && [ -f "$template/system.reg" ] || fail "no test prefix to copy: run scripts/test.sh"
    prefix=$work/$arch
    mkdir "$prefix"
    cp -a "$template/." "$prefix/"
    export WINEPREFIX=$prefix WINEARCH=$arch
    dir=$prefix/drive_c/tw
    mkdir -p "$dir"
    cp "$product_test" "$dir/product.exe"
    cp "$scan" "$dir/tarnwell-scan.exe"
    cp "$work/probe.msi" "$dir/probe.msi"
    scan_rows() { tw_env timeout 300 wine 'C:\tw\tarnwell-scan.exe' --rows 5 --utf8 2>/dev/null; }

    before=$(scan_rows)
    tw_env timeout 300 wine msiexec /i 'C:\tw\probe.msi' /qn || fail "msiexec could not install the package"
    wine uninstaller --list 2>/dev/null | grep -qF "$code" || fail "the product is not installed"
    # (In the 64-bit prefix in the system's own view, where the installer keeps its records.)
    view=(); [ $arch = win64 ] && view=(/reg:64)
    wine reg query "$record" "${view[@]}" >/dev/null 2>&1 || fail "the installer keeps no record of the product"
    [ "$(scan_rows)" = "$before" ] || fail "installed and kept, the product was reported"

    folders=("$prefix"/drive_c/Program\ Files*/TwMsiProbe)
    [ -f "${folders[0]}/readme.txt" ] || fail "the product's file is not where it was installed"
    rm -rf "${folders[@]}"
    out=$(scan_rows)
    grep -F "$code" <<<"$out" | grep -qF '程序文件已不存在' ||
        fail "the product whose folder is gone was not reported:"$'\n'"$out"

    TW_MSI_PRODUCT=$code tw_env timeout 300 wine 'C:\tw\product.exe' || fail "the repair through the installer failed"
    if wine uninstaller --list 2>/dev/null | grep -qF "$code"; then fail "the product is still installed"; fi
    # The installer's own records went with it: no deletion by hand could have taken them.
    if wine reg query "$record" "${view[@]}" >/dev/null 2>&1; then
        fail "the installer's record of the product is still there"
    fi
    wineserver -k 2>/dev/null || true
    echo "$arch: ok"
done
