# Builds the MSI package (cardsetup-<version>-x64.msi) with msitools: the media installed into
# the 64-bit Program Files, and custom actions (cardsetup_msi.dll) that run the installed
# program quietly. wixl lacks what the end of build_msi adds with msibuild; every code and time
# in the package is derived from its inputs, so that one commit always gives the same bytes.
# Sourced by tools/release and by the package's test.

# Never changes: every version of the product upgrades every other.
msi_upgrade_code=8C5E07A6-51D2-4E8B-9B0A-3F6C2D1E4A70
# Shown when a newer version is installed already. wixl stores only ASCII texts (the database
# has no code page until msibuild gives it one): the Polish one is set afterwards.
msi_downgrade_text="A newer version is installed."
msi_downgrade_polish="Na tym komputerze jest już nowsza wersja instalatora."

# Usage: derived_guid TEXT: a GUID made from the SHA-1 of TEXT (the layout of a name-based UUID).
derived_guid() {
    local hash
    hash=$(printf 'cardsetup %s' "$1" | sha1sum | cut -c1-32 | tr a-f A-F)
    printf '%s-%s-5%s-%X%s-%s\n' "${hash:0:8}" "${hash:8:4}" "${hash:13:3}" \
        $(( (0x${hash:16:1} & 3) | 8 )) "${hash:17:3}" "${hash:20:12}"
}

# Usage: msi_id KIND PATH: a table key for a file, component or folder of the media.
msi_id() { printf '%s_%s\n' "$1" "$(printf '%s' "$2" | sha1sum | cut -c1-20)"; }

# Usage: msi_xml_text TEXT: TEXT with XML's special characters escaped.
msi_xml_text() {
    local text=${1//&/&amp;}
    text=${text//</&lt;}
    text=${text//>/&gt;}
    printf '%s' "${text//\"/&quot;}"
}

# Usage: msi_folder STAGE RELATIVE: the <Directory> elements of one media folder, recursively.
# A component's GUID comes from the file's place alone, the same in every version, as Windows
# Installer's component rules ask.
msi_folder() {
    local stage=$1 relative=$2 entry name path
    for entry in "$stage/media${relative:+/$relative}"/*; do
        name=${entry##*/}
        path=${relative:+$relative/}$name
        if [ -d "$entry" ]; then
            printf '<Directory Id="%s" Name="%s">\n' "$(msi_id d "$path")" "$(msi_xml_text "$name")"
            msi_folder "$stage" "$path"
            printf '</Directory>\n'
        else
            printf '<Component Id="%s" Guid="%s" Win64="yes">' "$(msi_id c "$path")" \
                "$(derived_guid "component $path")"
            printf '<File Id="%s" Name="%s" Source="%s" KeyPath="yes"/></Component>\n' \
                "$(msi_id f "$path")" "$(msi_xml_text "$name")" "$(msi_xml_text "media/$path")"
        fi
    done
}

# Usage: msi_components STAGE: a <ComponentRef> for every file of the media.
msi_components() {
    (cd "$1/media" && find . -type f -printf '%P\n' | LC_ALL=C sort) | while read -r path; do
        printf '<ComponentRef Id="%s"/>\n' "$(msi_id c "$path")"
    done
}

# Usage: msi_source STAGE VERSION CONTENT: the package's WiX source. The deferred actions take
# their data ("<folder>|<options>") from a property set just before them.
msi_source() {
    local stage=$1 version=$2 content=$3 name publisher
    name="Instalator czytnika kart mikroprocesorowych"
    publisher="Projekt cardsetup"
    cat <<EOF
<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
<Product Id="$(derived_guid "product $version")" Name="$name" Language="1045" Codepage="1250"
         Version="$version.0" Manufacturer="$publisher" UpgradeCode="$msi_upgrade_code">
<Package InstallerVersion="500" Compressed="yes" InstallScope="perMachine" Languages="1045"
         SummaryCodepage="1250" Description="$name $version"/>
<Media Id="1" Cabinet="media.cab" EmbedCab="yes"/>
<MajorUpgrade DowngradeErrorMessage="$msi_downgrade_text"/>
<Icon Id="cardsetup.ico" SourceFile="cardsetup.ico"/>
<Binary Id="PackageActions" SourceFile="cardsetup_msi.dll"/>
<Property Id="ARPPRODUCTICON" Value="cardsetup.ico"/>
<Property Id="ARPNOMODIFY" Value="1"/>
<Property Id="ARPNOREPAIR" Value="1"/>
<Property Id="REBOOT" Value="ReallySuppress"/>
<CustomAction Id="SetTakeBackInstall" Impersonate="yes" Property="TakeBackInstall" Value="[INSTALLFOLDER]"/>
<CustomAction Id="TakeBackInstall" BinaryKey="PackageActions" DllEntry="TakeBackInstall"
              Execute="deferred" Impersonate="no" Return="ignore"/>
<CustomAction Id="SetRunInstall" Impersonate="yes" Property="RunInstall" Value="[INSTALLFOLDER]|[CARDSETUP_OPTIONS]"/>
<CustomAction Id="RunInstall" BinaryKey="PackageActions" DllEntry="RunInstall"
              Execute="deferred" Impersonate="no" Return="check"/>
<CustomAction Id="SetRunUninstall" Impersonate="yes" Property="RunUninstall" Value="[INSTALLFOLDER]"/>
<CustomAction Id="RunUninstall" BinaryKey="PackageActions" DllEntry="RunUninstall"
              Execute="deferred" Impersonate="no" Return="check"/>
<CustomAction Id="AskForRestart" BinaryKey="PackageActions" DllEntry="AskForRestart" Impersonate="yes"
              Return="check"/>
<InstallExecuteSequence>
<Custom Action="SetRunUninstall" After="UnpublishFeatures">REMOVE~="ALL"</Custom>
<Custom Action="RunUninstall" After="SetRunUninstall">REMOVE~="ALL"</Custom>
<Custom Action="SetTakeBackInstall" After="InstallFiles">NOT REMOVE~="ALL"</Custom>
<Custom Action="TakeBackInstall" After="SetTakeBackInstall">NOT REMOVE~="ALL"</Custom>
<Custom Action="SetRunInstall" After="TakeBackInstall">NOT REMOVE~="ALL"</Custom>
<Custom Action="RunInstall" After="SetRunInstall">NOT REMOVE~="ALL"</Custom>
<Custom Action="AskForRestart" After="InstallFinalize"/>
</InstallExecuteSequence>
<Directory Id="TARGETDIR" Name="SourceDir">
<Directory Id="ProgramFiles64Folder">
<Directory Id="INSTALLFOLDER" Name="cardsetup">
$(msi_folder "$stage" "")
</Directory>
</Directory>
</Directory>
<Feature Id="Product" Level="1">
$(msi_components "$stage")
</Feature>
</Product>
</Wix>
EOF
}

# Usage: build_msi MEDIA DLL ICON VERSION OUT EPOCH: the package of MEDIA as OUT, dated EPOCH.
# What wixl 0.101 cannot say is set afterwards with msibuild:
# - the database's code page, 1250, and then the Polish text of the downgrade's refusal;
# - CARDSETUP_OPTIONS among the secure properties, which a managed install passes on (wixl's
#   MajorUpgrade writes that property, and a second one makes wixl fail);
# - the take-back action as a rollback action (wixl knows only deferred ones): 3393 is a DLL
#   from the Binary table (1), its result ignored (64), rollback (256), in the script (1024),
#   as the system (2048);
# - the removal of an older version right after InstallValidate, before this one installs, so
#   that the older program takes back its own work before the newer one starts (wixl puts it
#   after InstallFiles);
# - the summary's package code, derived from the version and the content (wixl makes a random
#   one). The summary's times are the build's clock, frozen at EPOCH by faketime.
build_msi() {
    local media=$1 dll=$2 icon=$3 version=$4 out=$5 epoch=$6 stage content frozen status=0
    local secure
    stage=$(mktemp -d)
    cp -r "$media" "$stage/media"
    cp "$dll" "$stage/cardsetup_msi.dll"
    cp "$icon" "$stage/cardsetup.ico"
    find "$stage" -exec touch -h -d "@$epoch" {} +
    content=$(cd "$stage" && find . -type f -printf '%P\n' | LC_ALL=C sort |
        xargs -d '\n' sha256sum | sha256sum | cut -c1-64)
    msi_source "$stage" "$version" "$content" >"$stage/cardsetup.wxs"
    printf '\r\n\r\n1250\t_ForceCodepage\r\n' >"$stage/_ForceCodepage.idt"
    frozen=$(date -u -d "@$epoch" '+%Y-%m-%d %H:%M:%S')
    rm -f "$out"
    (cd "$stage" && TZ=UTC faketime -f "$frozen" wixl -a x64 -o "$out" cardsetup.wxs) ||
        status=$?
    if [ "$status" -eq 0 ]; then
        secure=$(msiinfo export "$out" Property | sed -n 's/^SecureCustomProperties\t//p' |
            tr -d '\r')
        (cd "$stage" && TZ=UTC faketime -f "$frozen" msibuild "$out" -i _ForceCodepage.idt \
            -q "UPDATE \`LaunchCondition\` SET \`Description\` = '$msi_downgrade_polish'" \
            -q "UPDATE \`Property\` SET \`Value\` = '$secure;CARDSETUP_OPTIONS'
                WHERE \`Property\` = 'SecureCustomProperties'" \
            -q "UPDATE \`CustomAction\` SET \`Type\` = 3393 WHERE \`Action\` = 'TakeBackInstall'" \
            -q "UPDATE \`InstallExecuteSequence\` SET \`Sequence\` = 1401
                WHERE \`Action\` = 'RemoveExistingProducts'" \
            -s "Instalator czytnika kart mikroprocesorowych" "Projekt cardsetup" "x64;1045" \
            "{$(derived_guid "package $version $content")}") || status=$?
    fi
    rm -rf "$stage"
    [ "$status" -eq 0 ] || rm -f "$out"
    return "$status"
}
