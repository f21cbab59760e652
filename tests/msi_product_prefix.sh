#!/usr/bin/env bash
# Real MSI packages, built here with wixl and installed by the prefix's own msiexec, in scratch
# copies of the 32- and 64-bit test prefixes: one per machine (a program, a setting naming it, an
# "Open with" verb, a file type's icon, a shared library with its count, a Start-menu group whose
# component is the group's folder) and one per user (a Start-menu group with a shortcut).
# Installed and kept, the registry and Start-menu rows report nothing new. With the program
# folders deleted by hand (the machine product's shortcut left in its group, the user's gone),
# each leftover is reported (under "Program Files (x86)" in the 64-bit prefix); repaired
# (PRODUCT_TEST.exe), the installer removes the product and Wine's uninstaller no longer lists it.
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
tw_scratch_xdg "$work/xdg-data" "$work/xdg-config"
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
            <File Id="Probe" Name="probe.exe" Source="probe.exe"/>
            <RegistryValue Root="HKLM" Key="Software\TwMsiProbe" Name="Path" Type="string" Value="[INSTALLDIR]probe.exe"/>
            <RegistryValue Root="HKLM" Key="Software\Classes\Applications\twprobe.exe\shell\open\command" Type="string"
                           Value="&quot;[INSTALLDIR]probe.exe&quot; &quot;%1&quot;"/>
            <RegistryValue Root="HKLM" Key="Software\Classes\TwMsiProbe.Doc" Type="string" Value="Tw probe document"/>
            <RegistryValue Root="HKLM" Key="Software\Classes\TwMsiProbe.Doc\DefaultIcon" Type="string" Value="[INSTALLDIR]probe.exe,0"/>
            <RegistryValue Root="HKLM" Key="Software\Microsoft\Windows\CurrentVersion\SharedDLLs" Name="[INSTALLDIR]shared.dll"
                           Type="integer" Value="1"/>
          </Component>
          <Component Id="Shared" Guid="{5A2C7E31-0B4D-4F6A-9C1E-2D3B4A5F6074}">
            <File Id="SharedDll" Name="shared.dll" Source="shared.dll" KeyPath="yes"/>
          </Component>
        </Directory>
      </Directory>
      <Directory Id="ProgramMenuFolder">
        <Directory Id="GROUP" Name="Tw Msi Probe Group">
          <Component Id="Menu" Guid="{5A2C7E31-0B4D-4F6A-9C1E-2D3B4A5F6075}">
            <Shortcut Id="ProbeLink" Name="Tw Msi Probe" Target="[INSTALLDIR]probe.exe" WorkingDirectory="INSTALLDIR"/>
            <RemoveFolder Id="GROUP" On="uninstall"/>
          </Component>
        </Directory>
      </Directory>
    </Directory>
    <Feature Id="All" Level="1"><ComponentRef Id="Main"/><ComponentRef Id="Shared"/><ComponentRef Id="Menu"/></Feature>
  </Product>
</Wix>
EOF
cat >"$work/user.wxs" <<'EOF'
<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="{5A2C7E31-0B4D-4F6A-9C1E-2D3B4A5F6081}" Name="Tw Msi User Probe" Language="1033" Version="1.0.0"
           Manufacturer="Tw Test" UpgradeCode="{5A2C7E31-0B4D-4F6A-9C1E-2D3B4A5F6082}">
    <Package InstallerVersion="200" Compressed="yes" InstallScope="perUser"/>
    <Media Id="1" Cabinet="user.cab" EmbedCab="yes"/>
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="LocalAppDataFolder">
        <Directory Id="USERDIR" Name="TwMsiUserProbe">
          <Component Id="UserMain" Guid="{5A2C7E31-0B4D-4F6A-9C1E-2D3B4A5F6083}">
            <File Id="UserProbe" Name="probe.exe" Source="probe.exe" KeyPath="yes"/>
          </Component>
        </Directory>
      </Directory>
      <Directory Id="ProgramMenuFolder">
        <Directory Id="GROUP" Name="Tw Msi User Group">
          <Component Id="Menu" Guid="{5A2C7E31-0B4D-4F6A-9C1E-2D3B4A5F6084}">
            <Shortcut Id="ProbeLink" Name="Tw Probe" Target="[USERDIR]probe.exe" WorkingDirectory="USERDIR"/>
            <RemoveFolder Id="GROUP" On="uninstall"/>
            <RegistryValue Root="HKCU" Key="Software\TwMsiUserProbe" Name="installed" Type="integer" Value="1" KeyPath="yes"/>
          </Component>
        </Directory>
      </Directory>
    </Directory>
    <Feature Id="All" Level="1"><ComponentRef Id="UserMain"/><ComponentRef Id="Menu"/></Feature>
  </Product>
</Wix>
EOF
echo probe >"$work/readme.txt"
echo x >"$work/probe.exe"
echo y >"$work/shared.dll"
(cd "$work" && wixl -o probe.msi probe.wxs && wixl -o user.msi user.wxs)

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
    cp "$work/probe.msi" "$work/user.msi" "$dir/"
    # The registry categories and the Start-menu groups (not the walk of every drive). Sorted:
    # the hive threads' rows reach the list whenever the threads hand them over, between the
    # other categories' rows at a point that depends on how busy the machine is.
    scan_rows() {
        tw_env timeout 300 wine 'C:\tw\tarnwell-scan.exe' --rows 0,1,2,3,4,5,6,7,8,9,11 --utf8 2>/dev/null |
            LC_ALL=C sort
    }

    before=$(scan_rows)
    tw_env timeout 300 wine msiexec /i 'C:\tw\probe.msi' /qn || fail "msiexec could not install the package"
    tw_env timeout 300 wine msiexec /i 'C:\tw\user.msi' /qn || fail "msiexec could not install the user's package"
    wine uninstaller --list 2>/dev/null | grep -qF "$code" || fail "the product is not installed"
    # (In the 64-bit prefix in the system's own view, where the installer keeps its records.)
    view=(); [ $arch = win64 ] && view=(/reg:64)
    wine reg query "$record" "${view[@]}" >/dev/null 2>&1 || fail "the installer keeps no record of the product"
    kept=$(scan_rows)
    [ "$kept" = "$before" ] || fail "installed and kept, the product was reported:"$'\n'"$(diff <(echo "$before") <(echo "$kept"))"
    # The group's folder is the key path of the menu component; its shortcut stays below.
    find "$prefix/drive_c" -path '*/Start Menu/Programs/Tw Msi Probe Group/*.lnk' | grep -q . ||
        fail "the machine product's shortcut is not in its group"

    folders=("$prefix"/drive_c/Program\ Files*/TwMsiProbe)
    [ -f "${folders[0]}/readme.txt" ] || fail "the product's file is not where it was installed"
    rm -rf "${folders[@]}" "$prefix"/drive_c/users/*/AppData/Local/TwMsiUserProbe
    rm -f "$prefix"/drive_c/users/*/AppData/Roaming/Microsoft/Windows/Start\ Menu/Programs/Tw\ Msi\ User\ Group/*.lnk
    out=$(scan_rows)
    grep -F "$code" <<<"$out" | grep -qF '程序文件已不存在' ||
        fail "the product whose folder is gone was not reported:"$'\n'"$out"
    # Every other leftover of the two packages, each as its own row (fields escaped: "\\").
    programs='Program Files'; [ $arch = win64 ] && programs='Program Files (x86)'
    for want in "Software\\\\TwMsiProbe	Path	C:\\\\$programs\\\\TwMsiProbe\\\\probe.exe" \
                "TwMsiProbe\\\\shared.dll	文件不存在" \
                "Applications\\\\twprobe.exe		无效右键菜单" \
                "TwMsiProbe.Doc\\\\DefaultIcon	@D_e_f_a_u_l_t	无效文件图标" \
                "Start Menu\\\\Programs\\\\Tw Msi User Group	"; do
        grep -qF "$want" <<<"$out" || fail "not reported: $want"$'\n'"$out"
    done

    TW_MSI_PRODUCT=$code tw_env timeout 300 wine 'C:\tw\product.exe' || fail "the repair through the installer failed"
    if wine uninstaller --list 2>/dev/null | grep -qF "$code"; then fail "the product is still installed"; fi
    # The installer's own records went with it: no deletion by hand could have taken them.
    if wine reg query "$record" "${view[@]}" >/dev/null 2>&1; then
        fail "the installer's record of the product is still there"
    fi
    wineserver -k 2>/dev/null || true
    echo "$arch: ok"
done
