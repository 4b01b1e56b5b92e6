#!/usr/bin/env bash
# The MSI package installed and removed by a real Windows Installer, Wine's own msiexec, in a
# prefix of its own with a runtime (the Java double): the install places the product and one
# entry and ends 3010; a newer package upgrades in place; an older one is refused and changes
# nothing; the program's failure fails msiexec and takes back both the package's files and what
# the program had placed; msiexec /x leaves every file as it was before the install.
# Usage: msi_package.sh <directory of the built programs> <media directory> <source directory>
# (CARDSETUP_KEEP=1 keeps the prefix, with msiexec's logs in its C:\, for a look afterwards)
set -euo pipefail

bin=$1
media=$2
source_dir=$3
source "$source_dir/tools/lib/msi.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/cardsetup-msi.XXXXXX")
trap 'wineserver -k 2>/dev/null || true; [ -n "${CARDSETUP_KEEP:-}" ] || rm -rf "$work"' EXIT
export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all
drive=$WINEPREFIX/drive_c
jre=$drive/jre
product="$drive/Program Files/cardsetup"
bridge=$drive/windows/system32/ocfpcsc1.dll
name="Instalator czytnika kart mikroprocesorowych"
failures=0

fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}

# Usage: expect WHAT WANTED GOT
expect() {
    [ "$2" = "$3" ] || fail "$1: expected $2, got $3"
}

prepare_prefix() {
    wineboot -i >/dev/null 2>&1
    wineserver -w
    wine reg add 'HKCU\Software\Wine' /v ShowDotFiles /d Y /f >/dev/null 2>&1
    wine reg add 'HKLM\SOFTWARE\JavaSoft\Java Runtime Environment\1.8' /v JavaHome \
        /d 'C:\jre' /f >/dev/null 2>&1
    mkdir -p "$jre/bin" "$jre/lib/ext" "$jre/lib/security"
    cp "$bin/java_double.exe" "$jre/bin/java.exe"
    echo "the runtime's own policy" >"$jre/lib/security/java.policy"
}

# Every file of the runtime (less the Java double's record of its calls), the system
# directory's bridge and the product's folder.
snapshot() {
    (cd "$jre" && find . -type f ! -path ./bin/calls.txt -print0 | sort -z | xargs -0 sha1sum)
    [ -e "$bridge" ] && sha1sum <"$bridge" || echo "no bridge"
    [ -e "$product" ] && echo "product folder" || echo "no product folder"
}

# The entries that Wine's Add/Remove Programs lists for the product.
entries() {
    wine uninstaller --list 2>/dev/null | tr -d '\r' | grep -F "|||$name" || true
}

# The values of the product's entry, as `wine reg query` prints them.
entry_values() {
    wine reg query "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$(entries | cut -d'|' -f1)" \
        2>/dev/null | tr -d '\r'
}

# Usage: msiexec_status ARGUMENTS...: runs Wine's msiexec; gives its exit code (8 bits:
# 194 for 3010, 67 for 1603).
msiexec_status() {
    local status=0
    (cd "$drive" && exec wine msiexec "$@" </dev/null >/dev/null 2>&1) || status=$?
    echo "$status"
}

# Usage: install PACKAGE LOG: installs C:\PACKAGE quietly, the Java part only, logging to C:\LOG.
install() {
    msiexec_status /i "C:\\$1" /qn /l*v "C:\\$2" CARDSETUP_OPTIONS=/components=java
}

build_packages() {
    local version
    for version in 2.4 2.5; do
        build_msi "$media" "$bin/cardsetup_msi.dll" "$source_dir/res/cardsetup.ico" "$version" \
            "$drive/cardsetup-$version.msi" 315619200 || fail "the $version package was not built"
    done
}

prepare_prefix
build_packages
before=$(snapshot)

# A failing program: the Java double's CopyPolicyFile fails once the library and the
# properties are in the runtime.
echo 1 >"$jre/bin/exit-status.txt"
expect "msiexec when the program fails" 67 "$(install cardsetup-2.4.msi failed.log)"
rm "$jre/bin/exit-status.txt"
expect "what the failed install left" "$before" "$(snapshot)"
expect "entries after the failed install" "" "$(entries)"
grep -aq "cardsetup: the program ended 1603" "$drive/failed.log" ||
    fail "the failed install's log does not say how the program ended"

expect "msiexec installing 2.4" 194 "$(install cardsetup-2.4.msi install.log)"
grep -aq "cardsetup: the program ended 3010" "$drive/install.log" ||
    fail "the install's log does not say how the program ended"
diff -r "$media" "$product" >/dev/null || fail "the product's folder does not hold the media"
cmp -s "$media/sun/ocf1.2.jar" "$jre/lib/ext/ocf1.2.jar" || fail "the runtime lacks ocf1.2.jar"
expect "entries after the install" 1 "$(entries | wc -l)"
values=$(entry_values)
for value in "DisplayVersion    REG_SZ    2.4.0" "Publisher    REG_SZ    Projekt cardsetup" \
             "NoModify    REG_DWORD    0x1" "NoRepair    REG_DWORD    0x1"; do
    grep -qF "$value" <<<"$values" || fail "the entry lacks $value"
done

installed=$(snapshot)
expect "msiexec upgrading to 2.5" 194 "$(install cardsetup-2.5.msi upgrade.log)"
expect "the entry after the upgrade" "1 2.5.0" \
    "$(entries | wc -l) $(entry_values | awk '/DisplayVersion/ { print $3 }')"
expect "the runtime after the upgrade" "$installed" "$(snapshot)"

expect "msiexec installing the older 2.4 over 2.5" 67 \
    "$(install cardsetup-2.4.msi downgrade.log)"
expect "the PC after the refused downgrade" "$installed" "$(snapshot)"
expect "entries after the refused downgrade" 1 "$(entries | wc -l)"

status=$(msiexec_status /x 'C:\cardsetup-2.5.msi' /qn /l*v 'C:\remove.log')
[ "$status" = 0 ] || [ "$status" = 194 ] || fail "msiexec /x ended $status"
expect "the PC after msiexec /x" "$before" "$(snapshot)"
expect "entries after msiexec /x" "" "$(entries)"

echo "$failures of the package's checks failed"
[ "$failures" -eq 0 ]
