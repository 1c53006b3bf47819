#!/bin/sh
# Builds the Windows Installer package from a package folder that
# scripts/dist.sh made: package/Veriloom.wxs with a fragment naming every
# BLACKLIST file of the folder (whatever lists it holds), through wixl.
#
#   msi.sh PACKAGE_DIR VERSION OUT_MSI     VERSION as x.y.z, e.g. 1.1.0
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
usage="usage: msi.sh PACKAGE_DIR VERSION OUT_MSI"
package=$(cd "${1:?$usage}" && pwd)
version=${2:?$usage}
out=$(cd "$(dirname "${3:?$usage}")" && pwd)/$(basename "$3")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One component per list, each its own key path (GUIDs derived from the
# path, so an upgrade keeps them). The names go into XML unescaped: only
# plain ones are taken.
{
    echo '<?xml version="1.0" encoding="utf-8"?>'
    echo '<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi"><Fragment>'
    echo '  <DirectoryRef Id="VeriloomFolder">'
    count=0
    for list in "$package"/*; do
        name=$(basename "$list")
        # The files Setup takes as lists: names beginning with BLACKLIST
        # in any letter case.
        case $(echo "$name" | tr a-z A-Z) in BLACKLIST*) ;; *) continue ;; esac
        [ -f "$list" ] || continue
        case $name in
        *[!A-Za-z0-9._-]*)
            echo "msi.sh: list file name '$name' has characters the package does not take" >&2
            exit 1
            ;;
        esac
        count=$((count + 1))
        echo "    <Component Id=\"List$count\" Guid=\"*\" Win64=\"yes\">"
        echo "      <File Id=\"List$count\" Name=\"$name\" Source=\"$name\" KeyPath=\"yes\"/>"
        echo "    </Component>"
    done
    echo '  </DirectoryRef>'
    echo '  <ComponentGroup Id="Blacklists">'
    i=1
    while [ "$i" -le "$count" ]; do
        echo "    <ComponentRef Id=\"List$i\"/>"
        i=$((i + 1))
    done
    echo '  </ComponentGroup>'
    echo '</Fragment></Wix>'
} >"$work/Blacklists.wxs"

cd "$package"
wixl --arch x64 -D Version="$version" \
    -o "$work/Veriloom.msi" "$root/package/Veriloom.wxs" "$work/Blacklists.wxs"

# wixl writes every deferred action as an installing one: the actions
# named "...Rollback" get the rollback flag (msidbCustomActionTypeRollback,
# 256), so that they run only when the installation is rolled back.
msiinfo export "$work/Veriloom.msi" CustomAction | tr -d '\r' | tail -n +4 |
    while IFS="$(printf '\t')" read -r action type rest; do
        case $action in
        *Rollback) msibuild "$work/Veriloom.msi" -q \
            "UPDATE CustomAction SET Type = $((type | 256)) WHERE Action = '$action'" ;;
        esac
    done
mv "$work/Veriloom.msi" "$out"
