#!/bin/sh
# Checks the release package that scripts/dist.sh made: version blocks,
# imports of system libraries only, blacklists as in the repository, the
# texts as Windows text files, the Group Policy templates as in the
# repository, an archive holding exactly the folder, and the Windows
# Installer package beside it.
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

expected_files="cert_fingerprint.exe BLACKLIST.KEYS-published BLACKLIST.RSA-1024 BLACKLIST.RSA-512 BLACKLIST.RSA-keypair BLACKLIST.RSA-known LIESMICH.txt PolicyDefinitions README.txt Setup.exe Veriloom-x64.dll"
actual_files=$(cd "$package" 2>/dev/null && ls -A | LC_ALL=C sort | tr '\n' ' ' | sed 's/ $//')
if [ "$actual_files" = "$(echo $expected_files | tr ' ' '\n' | LC_ALL=C sort | tr '\n' ' ' | sed 's/ $//')" ]; then
    pass "the folder holds exactly: $actual_files"
else
    fail "the folder holds '$actual_files', expected '$expected_files'"
fi

# check_imports FILE PERMITTED: FILE (in the package) imports only DLLs
# named in PERMITTED.
check_imports() {
    imports=$(x86_64-w64-mingw32-objdump -p "$package/$1" 2>/dev/null | sed -n 's/^[[:space:]]*DLL Name: //p')
    foreign=""
    for dll in $imports; do
        upper=$(echo "$dll" | tr a-z A-Z)
        case " $2 " in
        *" $upper "*) ;;
        *) foreign="$foreign $dll" ;;
        esac
    done
    if [ -z "$imports" ]; then
        fail "$1: no import table found"
    elif [ -n "$foreign" ]; then
        fail "$1 imports libraries that are not allowed for it:$foreign"
    else
        pass "$1 imports only libraries allowed for it: $(echo $imports)"
    fi
}

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

    permitted=$allowed
    [ "$file" = Setup.exe ] && permitted=$known
    check_imports "$file" "$permitted"
done
check_imports cert_fingerprint.exe "$allowed"

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

templates=$(cd "$root/package" && find PolicyDefinitions -type f | LC_ALL=C sort)
shipped=$(cd "$package" 2>/dev/null && find PolicyDefinitions -type f | LC_ALL=C sort)
if [ -n "$templates" ] && [ "$templates" = "$shipped" ] &&
    (cd "$root/package" && for file in $templates; do cmp -s "$file" "$package/$file" || exit 1; done); then
    pass "PolicyDefinitions/ holds the templates of package/, byte for byte: $(echo $templates)"
else
    fail "PolicyDefinitions/ holds '$(echo $shipped)', expected package/'s '$(echo $templates)'"
fi

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
files = {f"{package.name}/{path.relative_to(package).as_posix()}": path.read_bytes()
         for path in package.rglob("*") if path.is_file()}
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

# The Windows Installer package: per machine, x64, version 1.1.0 of the
# product line, exactly the folder's programs and lists inside, and the
# installed Setup.exe doing the registration.
msi=$package.msi
tables=$(msiinfo tables "$msi" 2>/dev/null)
if [ -z "$tables" ]; then
    fail "$(basename "$msi") is missing or not a Windows Installer database"
else
    # Table exports end their lines in CRLF.
    table() { msiinfo export "$msi" "$1" | tr -d '\r'; }
    property() { table Property | awk -F '\t' -v name="$1" '$1 == name { print $2 }'; }
    template=$(msiinfo suminfo "$msi" | sed -n 's/^Template: //p')
    if [ "$template" = "x64;1033" ] && [ "$(property ALLUSERS)" = 1 ] && [ "$(property ProductVersion)" = 1.1.0 ] &&
        [ "$(property UpgradeCode)" = "{20FB3FB3-A92C-41C7-B279-F3080D4D887F}" ]; then
        pass "$(basename "$msi"): x64, per machine, ProductVersion 1.1.0, the product line's UpgradeCode"
    else
        fail "$(basename "$msi"): platform '$template', ALLUSERS '$(property ALLUSERS)', version '$(property ProductVersion)', UpgradeCode '$(property UpgradeCode)'"
    fi

    extracted=$(mktemp -d)
    msiextract -C "$extracted" "$msi" >/dev/null 2>&1
    inside=$(cd "$extracted"/Veriloom 2>/dev/null && ls -A | LC_ALL=C sort | tr '\n' ' ')
    wanted=$(cd "$package" && ls -A | grep -i -e '^BLACKLIST' -e '^Setup.exe$' -e '^Veriloom-x64.dll$' | LC_ALL=C sort | tr '\n' ' ')
    same=yes
    for file in $wanted; do cmp -s "$package/$file" "$extracted/Veriloom/$file" || same=""; done
    rm -rf "$extracted"
    if [ -n "$wanted" ] && [ "$inside" = "$wanted" ] && [ -n "$same" ]; then
        pass "$(basename "$msi") installs exactly the folder's $(echo $wanted), byte for byte"
    else
        fail "$(basename "$msi") installs '$inside', the folder has '$wanted' (or the bytes differ)"
    fi

    # Deferred (1024) without impersonation (2048), running the installed
    # file (18); the rollbacks (256) ignore the exit code (64).
    actions=$(table CustomAction | awk -F '\t' '$1 ~ /^(Unr|R)egisterProvider/ { print $1 "|" $2 "|" $3 "|" $4 }' | LC_ALL=C sort | tr '\n' ' ')
    registry=$(table Registry | tail -n +4)
    log='/log "[WindowsFolder]Logs\Veriloom-setup.log"'
    install="/quiet /allusers /msi $log"
    uninstall="/uninstall /quiet /msi $log"
    if [ "$actions" = "RegisterProviderRollback|3410|SetupExe|$uninstall RegisterProvider|3090|SetupExe|$install UnregisterProviderRollback|3410|SetupExe|$install UnregisterProvider|3090|SetupExe|$uninstall " ] &&
        [ -z "$registry" ]; then
        pass "$(basename "$msi"): the installed Setup.exe registers and unregisters (deferred, checked, each with its rollback); no Registry table rows"
    else
        fail "$(basename "$msi"): custom actions '$actions', Registry rows '$registry'"
    fi
fi

if [ "$failures" -ne 0 ]; then
    echo "check-dist: $failures check(s) failed"
    exit 1
fi
echo "check-dist: all checks passed"
