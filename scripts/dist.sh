#!/bin/sh
# Builds the release package: the folder Veriloom-1.1-x64/ (Setup.exe, the
# library stripped of debug information, the blacklists, README.txt and
# LIESMICH.txt as Windows text files, cert_fingerprint.exe (fingerprints
# and the store inventory), the Group Policy templates in
# PolicyDefinitions/), its zip archive and the Windows Installer package
# Veriloom-1.1-x64.msi (scripts/msi.sh).
#
#   dist.sh                          build the windows configuration, package
#                                    into dist/
#   dist.sh --from BUILD_DIR OUT_DIR package what BUILD_DIR holds (already
#                                    built) into OUT_DIR
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)

if [ "${1:-}" = "--from" ]; then
    build=${2:?usage: dist.sh [--from BUILD_DIR OUT_DIR]}
    out=${3:?usage: dist.sh [--from BUILD_DIR OUT_DIR]}
else
    "$root/scripts/build.sh" windows
    build=$root/build/windows
    out=$root/dist
fi

name=Veriloom-1.1-x64
mkdir -p "$out"
out=$(cd "$out" && pwd)
package=$out/$name
rm -rf "$package" "$package.zip" "$package.msi"
mkdir "$package"

# Debug information out, resources and imports untouched.
x86_64-w64-mingw32-strip --strip-debug -o "$package/Setup.exe" "$build/setup/Setup.exe"
x86_64-w64-mingw32-strip --strip-debug -o "$package/Veriloom-x64.dll" "$build/provider/Veriloom-x64.dll"
# The fingerprint and store-inventory tool, for checking machines before
# and after the rollout.
x86_64-w64-mingw32-strip --strip-debug -o "$package/cert_fingerprint.exe" "$build/tools/cert_fingerprint.exe"
for list in "$root"/blacklists/BLACKLIST.*; do
    cp "$list" "$package/"
    chmod 644 "$package/$(basename "$list")"
done

# The Group Policy templates as they are (UTF-8 XML).
cp -R "$root/package/PolicyDefinitions" "$package/"

python3 - "$root/package" "$package" <<'PYTHON'
# The texts: CRLF line ends; README.txt in ASCII, LIESMICH.txt in
# Windows-1252 (what Notepad opens without a byte-order mark).
import pathlib, sys
source, package = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
for name, encoding in (("README.txt", "ascii"), ("LIESMICH.txt", "cp1252")):
    text = (source / name).read_text(encoding="utf-8")
    (package / name).write_bytes(text.replace("\n", "\r\n").encode(encoding))
PYTHON

python3 - "$package" <<'PYTHON'
# The archive: the folder and its files (with subfolders), in name order.
import pathlib, sys, zipfile
package = pathlib.Path(sys.argv[1])
with zipfile.ZipFile(str(package) + ".zip", "w", zipfile.ZIP_DEFLATED, compresslevel=9) as archive:
    for path in sorted(p for p in package.rglob("*") if p.is_file()):
        archive.write(path, f"{package.name}/{path.relative_to(package).as_posix()}")
PYTHON

"$root/scripts/msi.sh" "$package" 1.1.0 "$package.msi"

echo "dist: $package"
ls -l "$package" "$package.zip" "$package.msi"
