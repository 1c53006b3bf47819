#!/bin/sh
# Checks the release package that scripts/dist.sh made: version blocks,
# imports of system libraries only, blacklists as in the repository, the
# texts as Windows text files, and an archive holding exactly the folder.
#
#   check-dist.sh [OUT_DIR]                  check OUT_DIR/Veriloom-1.1-x64
#                                            (default dist/)
#   check-dist.sh --build BUILD_DIR OUT_DIR  package BUILD_DIR's programs
#                                            into OUT_DIR first (ctest)
# One line per check; exits non-zero when any check fails.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)

if [ "${1:-}" = "--build" ]; then
    build=${2:?usage: check-dist.sh --build BUILD_DIR OUT_DIR}
    out=${3:?usage: check-dist.sh --build BUILD_DIR OUT_DIR}
    "$root/scripts/dist.sh" --from "$build" "$out" >/dev/null || {
        echo "FAIL  the package could not be built from $build"
        exit 1
    }
else
    out=${1:-$root/dist}
fi

package=$out/Veriloom-1.1-x64
failures=0
pass() { echo "ok    $*"; }
fail() { echo "FAIL  $*"; failures=$((failures + 1)); }

# Windows system libraries; names compared in upper case.
allowed="KERNEL32.DLL USER32.DLL ADVAPI32.DLL SHELL32.DLL CRYPT32.DLL WINHTTP.DLL GDI32.DLL MSVCRT.DLL NTDLL.DLL COMCTL32.DLL OLE32.DLL"
# Setup.exe runs elevated from the folder it was unpacked into: it may
# import only the system's known DLLs, which are never looked for beside
# the program (crypt32 is not one of them; Setup loads it at run time).
known="KERNEL32.DLL USER32.DLL ADVAPI32.DLL SHELL32.DLL GDI32.DLL MSVCRT.DLL OLE32.DLL"

expected_files="BLACKLIST.KEYS-published BLACKLIST.RSA-1024 BLACKLIST.RSA-512 BLACKLIST.RSA-keypair BLACKLIST.RSA-known LIESMICH.txt README.txt Setup.exe Veriloom-x64.dll"
actual_files=$(cd "$package" 2>/dev/null && ls -A | LC_ALL=C sort | tr '\n' ' ' | sed 's/ $//')
if [ "$actual_files" = "$(echo $expected_files | tr ' ' '\n' | LC_ALL=C sort | tr '\n' ' ' | sed 's/ $//')" ]; then
    pass "the folder holds exactly: $actual_files"
else
    fail "the folder holds '$actual_files', expected '$expected_files'"
fi

# program  ProductName  FileDescription
for entry in "Setup.exe|Setup Veriloom" "Veriloom-x64.dll|Veriloom"; do
    file=${entry%%|*}
    product=${entry#*|}
    path=$package/$file
    if [ ! -f "$path" ]; then
        fail "$file is missing"
        continue
    fi
    rc=$(x86_64-w64-mingw32-windres "$path" -O rc 2>/dev/null)
    if printf '%s\n' "$rc" | grep -q '^[0-9]* VERSIONINFO' &&
        printf '%s\n' "$rc" | grep -q 'VALUE "FileVersion", "1.01.000"' &&
        printf '%s\n' "$rc" | grep -q 'VALUE "ProductVersion", "1.01.000"' &&
        printf '%s\n' "$rc" | grep -q "VALUE \"ProductName\", \"$product\""; then
        pass "$file: version block, FileVersion 1.01.000, ProductName \"$product\""
    else
        fail "$file: no version block with FileVersion 1.01.000 and ProductName \"$product\""
    fi

    imports=$(x86_64-w64-mingw32-objdump -p "$path" 2>/dev/null | sed -n 's/^[[:space:]]*DLL Name: //p')
    permitted=$allowed
    [ "$file" = Setup.exe ] && permitted=$known
    foreign=""
    for dll in $imports; do
        upper=$(echo "$dll" | tr a-z A-Z)
        case " $permitted " in
        *" $upper "*) ;;
        *) foreign="$foreign $dll" ;;
        esac
    done
    if [ -z "$imports" ]; then
        fail "$file: no import table found"
    elif [ -n "$foreign" ]; then
        fail "$file imports libraries that are not allowed for it:$foreign"
    else
        pass "$file imports only libraries allowed for it: $(echo $imports)"
    fi
done

if x86_64-w64-mingw32-objdump -p "$package/Veriloom-x64.dll" 2>/dev/null | grep -q '[[:space:]]CertDllVerifyRevocation$'; then
    pass "Veriloom-x64.dll exports CertDllVerifyRevocation"
else
    fail "Veriloom-x64.dll does not export CertDllVerifyRevocation"
fi

for list in "$root"/blacklists/BLACKLIST.*; do
    name=$(basename "$list")
    if cmp -s "$list" "$package/$name"; then
        pass "$name is byte-identical to blacklists/$name ($(wc -c <"$list") bytes)"
    else
        fail "$name differs from blacklists/$name or is missing"
    fi
done

# README.txt plain ASCII, LIESMICH.txt Windows-1252 (its umlauts as single
# bytes), both with CRLF and nothing else as line end.
result=$(python3 - "$package" <<'PYTHON'
import pathlib, sys
package = pathlib.Path(sys.argv[1])
for name, encoding, marker in (("README.txt", "ascii", "Event ID 100"),
                               ("LIESMICH.txt", "cp1252", "Ereignis-ID 100")):
    try:
        data = (package / name).read_bytes()
        text = data.decode(encoding)
    except (OSError, UnicodeDecodeError) as error:
        print(f"FAIL  {name}: not {encoding} text ({error})")
        continue
    lines = data.count(b"\n")
    if data.count(b"\r\n") != lines or data.count(b"\r") != lines or not data.endswith(b"\r\n"):
        print(f"FAIL  {name}: not every line ends in CRLF")
    elif marker.lower() not in text.lower().replace("\r\n", " "):
        print(f"FAIL  {name}: the text does not mention '{marker}'")
    elif name == "LIESMICH.txt" and "\u00fc".encode("cp1252") not in data:
        print(f"FAIL  {name}: no Windows-1252 umlauts")
    else:
        print(f"ok    {name}: {encoding}, {lines} lines, CRLF line ends")
PYTHON
)
echo "$result"
case "$result" in *FAIL*) failures=$((failures + 1)) ;; esac

result=$(python3 - "$package" <<'PYTHON'
import pathlib, sys, zipfile
package = pathlib.Path(sys.argv[1])
archive_path = pathlib.Path(str(package) + ".zip")
try:
    with zipfile.ZipFile(archive_path) as archive:
        bad = archive.testzip()
        members = {info.filename: archive.read(info) for info in archive.infolist()}
except (OSError, zipfile.BadZipFile) as error:
    print(f"FAIL  {archive_path.name}: cannot be read ({error})")
    sys.exit()
files = {f"{package.name}/{path.name}": path.read_bytes() for path in package.iterdir()}
if bad is not None:
    print(f"FAIL  {archive_path.name}: {bad} is damaged")
elif set(members) != set(files):
    print(f"FAIL  {archive_path.name} holds {sorted(members)}, the folder {sorted(files)}")
elif any(members[name] != files[name] for name in files):
    print(f"FAIL  {archive_path.name}: some members differ from the folder's files")
else:
    print(f"ok    {archive_path.name} holds exactly the folder's {len(files)} files, byte for byte")
PYTHON
)
echo "$result"
case "$result" in *FAIL*) failures=$((failures + 1)) ;; esac

if [ "$failures" -ne 0 ]; then
    echo "check-dist: $failures check(s) failed"
    exit 1
fi
echo "check-dist: all checks passed"
