#!/usr/bin/env bash
# The Debian package as a user meets it: built, checked by lintian, installed with dpkg on this
# machine, its commands, manual pages and completion used on a scratch home holding a 32-bit
# prefix, a 64-bit prefix and one Wine would update (listed, never started), the Ansible role run
# against that home (its report counts what the sweep counts; in check mode nothing is repaired
# and no undo file written), then removed without a file left behind.
#   deb_package.sh     (root: it installs the package; exit 77, "skipped", otherwise)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
[ "$(id -u)" = 0 ] || { echo "skipped: installing a package needs root"; exit 77; }
. "$root/scripts/wine-env.sh"
work=$(mktemp -d /tmp/tw-deb-XXXXXX)
home=$work/home p32=$work/home/.wine p64=$work/home/.local/share/wineprefixes/p64 old=$work/home/.wine-old
installed=0
cleanup() {
    for p in "$p32" "$p64"; do WINEPREFIX=$p wineserver -k 2>/dev/null || true; done
    [ "$installed" -eq 0 ] || dpkg -r tarnwell >/dev/null 2>&1 || true
    # The role keeps the package it copied in apt's cache.
    [ -z "${deb:-}" ] || rm -f "/var/cache/apt/archives/${deb##*/}"
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "$*"; exit 1; }

deb=$(TW_DIST=$work bash "$root/scripts/package-deb.sh")
out=$(lintian --fail-on error "$deb" 2>&1) || fail "lintian: $out"

# Another process may hold dpkg's lock for a while.
for _ in 1 2 3 4 5 6; do
    out=$(dpkg -i "$deb" 2>&1) && break
    grep -q lock <<<"$out" || fail "dpkg -i: $out"
    sleep 10
done
installed=1
files=$(dpkg -L tarnwell)
for f in Kivcc.chm Kivcc-en.chm help/zh/Topic_17.htm help/en/Topic_17.htm; do
    grep -qx "/usr/lib/tarnwell/$f" <<<"$files" || fail "not in the package: $f"
done
man -w tarnwell tarnwell-scan tarnwell-sweep >/dev/null || fail "a manual page is missing"
for c in tarnwell tarnwell-scan tarnwell-sweep; do
    [ "$($c --version)" = "$c $(basename "$deb" | cut -d_ -f2)" ] || fail "$c --version"
    $c --help | grep -q "^usage: $c" || fail "$c --help"
done
rows=$(bash -c '. /usr/share/bash-completion/completions/tarnwell-sweep
    COMP_WORDS=(tarnwell-sweep --rows 5,1); COMP_CWORD=2; _tarnwell tarnwell-sweep; echo "${COMPREPLY[*]}"')
[[ " $rows " == *" 5,12 "* && " $rows " != *" 5,2"* ]] || fail "completion of --rows 5,1: $rows"

# The scratch home: the test prefixes copied, a font value whose file is missing in each, and a
# prefix an older Wine made.
mkdir -p "$home/.local/share/wineprefixes"
export HOME=$home XDG_DATA_HOME=$home/.local/share XDG_CONFIG_HOME=$home/.config LANG=C.UTF-8
for pair in "${TW_TEST_PREFIX:-}:$p32:win32" "${TW_TEST_PREFIX64:-}:$p64:win64"; do
    IFS=: read -r template dest arch <<<"$pair"
    if [ -n "$template" ] && [ -f "$template/system.reg" ]; then cp -a "$template" "$dest"; else tw_make_prefix "$dest" "$arch"; fi
    env -u WINEARCH WINEPREFIX="$dest" LANG="$TW_LOCALE" LC_ALL="$TW_LOCALE" wine reg add \
        'HKLM\Software\Microsoft\Windows\CurrentVersion\Fonts' /v 'Tw Deb Gone (TrueType)' /d twdebgone.ttf /f >/dev/null 2>&1
    WINEPREFIX=$dest wineserver -w
done
cp -a "$p32" "$old"
echo 1600000000 >"$old/.update-timestamp"
old_reg=$(md5sum <"$old/system.reg")
planted() { grep -q 'Tw Deb Gone' "$p32/system.reg" && grep -q 'Tw Deb Gone' "$p64/system.reg"; }

# The scanner's rows, in UTF-8 on this UTF-8 terminal; refused in the prefix Wine would update.
list=$(WINEPREFIX=$p32 tarnwell-scan --list-rows) || fail "tarnwell-scan --list-rows"
grep -q $'^12\tx\t扫描：Wine ' <<<"$list" || fail "no Wine desktop row 12: $list"
rc=0
err=$(WINEPREFIX=$old tarnwell-scan --list-rows 2>&1 >/dev/null) || rc=$?
[ "$rc" -eq 2 ] && grep -q 'update' <<<"$err" || fail "tarnwell-scan in a prefix Wine would update: $rc $err"

# The sweep's document: exit 1, since the old prefix was not scanned.
rc=0
tarnwell-sweep --json --rows 6 >"$work/sweep.json" || rc=$?
[ "$rc" -eq 1 ] || fail "tarnwell-sweep --json: exit status $rc"
python3 - "$work/sweep.json" "$p32" "$p64" "$old" <<'PY' || fail "the sweep's document: $(cat "$work/sweep.json")"
import json, sys
doc = json.load(open(sys.argv[1]))
got = {p["path"]: (p["arch"], p["state"], [(r["row"], r["findings"] > 0) for r in p["rows"]]) for p in doc["prefixes"]}
assert got == {sys.argv[2]: ("win32", "ok", [(6, True)]), sys.argv[3]: ("win64", "ok", [(6, True)]),
               sys.argv[4]: ("win32", "needs update", [])}, got
assert all(r["caption"] for p in doc["prefixes"] for r in p["rows"])
PY
[ "$(md5sum <"$old/system.reg")" = "$old_reg" ] && [ ! -e "$old/drive_c/Program Files/Tarnwell" ] ||
    fail "the prefix that needs an update was touched"

# The Ansible role on this machine, for this home: report only, then a repair in check mode.
playbook() {
    ANSIBLE_ROLES_PATH=$root/contrib/ansible/roles ANSIBLE_NOCOLOR=1 \
        ansible-playbook -i localhost, -c local "$root/contrib/ansible/sweep.yml" "$@" -e "$(python3 -c '
import json, sys
print(json.dumps({"tarnwell_deb": sys.argv[1], "tarnwell_users": [{"name": "root", "home": sys.argv[2]}],
                  "tarnwell_rows": "6", "tarnwell_report_dir": sys.argv[3]}))' "$deb" "$home" "$work/reports")" \
        >"$work/ansible.log" 2>&1 || { cat "$work/ansible.log"; fail "ansible-playbook $*"; }
}
# counts FILE: path, state, Findings, repaired, failed and undo files of every prefix.
counts() {
    python3 -c '
import json, sys
doc = json.load(open(sys.argv[1]))
doc = doc["users"][0]["sweep"] if "users" in doc else doc
for p in doc["prefixes"]:
    print(p["path"], p["state"], [r["findings"] for r in p["rows"]], p["repaired"], p["failed"], p["undo_files"])' "$1"
}
playbook
[ "$(counts "$work/reports/localhost.json")" = "$(counts "$work/sweep.json")" ] || fail "the role's report differs from the sweep's"
playbook --check -e tarnwell_repair=true
planted || fail "a repair in check mode deleted something"
[ -z "$(find "$p32" "$p64" -path '*/Tarnwell/Undo/*')" ] || fail "a repair in check mode wrote an undo file"
python3 - "$work/reports/localhost.json" <<'PY' || fail "the check mode report"
import json, sys
doc = json.load(open(sys.argv[1]))
sweep = doc["users"][0]["sweep"]
assert doc["check_mode"] and sweep["repair"] and sweep["dry_run"], doc
assert all(p["repaired"] == p["rows"][0]["findings"] for p in sweep["prefixes"] if p["state"] == "ok"), doc
PY

# Removed, the package leaves nothing behind.
dpkg -r tarnwell >/dev/null
installed=0
while IFS= read -r f; do
    if [ -e "$f" ] || [ -L "$f" ]; then
        case $f in /usr/lib/tarnwell*|*tarnwell*) fail "left behind: $f" ;; esac
    fi
done <<<"$files"
echo "Debian package: ok"
