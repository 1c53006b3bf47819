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

# One component per list, each its own key path. Its identifier, and so
# the GUID wixl derives from it, follows the file name, so that a list
# keeps its component whatever lists are added. The names go into XML and
# identifiers unchanged but for '-': only plain ones are taken.
{
    echo '<?xml version="1.0" encoding="utf-8"?>'
    echo '<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi"><Fragment>'
    echo '  <DirectoryRef Id="VeriloomFolder">'
    ids=""
    for list in "$package"/*; do
        name=$(basename "$list")
        # The files Setup takes as lists: names beginning with BLACKLIST
        # in any letter case.
        case $(echo "$name" | tr a-z A-Z) in BLACKLIST*) ;; *) continue ;; esac
        [ -f "$list" ] || continue
        # Identifiers hold at most 72 characters.
        case $name in *[!A-Za-z0-9._-]*) bad=yes ;; *) bad="" ;; esac
        if [ -n "$bad" ] || [ ${#name} -gt 60 ]; then
            echo "msi.sh: list file name '$name' is too long or has characters the package does not take" >&2
            exit 1
        fi
        id=List_$(echo "$name" | tr - _)
        ids="$ids $id"
        echo "    <Component Id=\"$id\" Guid=\"*\" Win64=\"yes\">"
        echo "      <File Id=\"$id\" Name=\"$name\" Source=\"$name\" KeyPath=\"yes\"/>"
        echo "    </Component>"
    done
    echo '  </DirectoryRef>'
    echo '  <ComponentGroup Id="Blacklists">'
    for id in $ids; do
        echo "    <ComponentRef Id=\"$id\"/>"
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
