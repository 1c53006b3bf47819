#!/bin/sh
# The demo: builds the Windows programs and shows the revocation provider at
# work under Wine, in a fresh prefix of its own (build/windows/demo-prefix,
# made anew on every run; the tests' prefix is left alone):
#   - reads sample certificates as the provider does (common name and key
#     fingerprint, or why a certificate has none);
#   - installs Veriloom-x64.dll and a sample blacklist that lists the key of
#     tests/data/certs/rsa-2048.der into "C:\Program Files\Veriloom";
#   - registers the library first among CryptoAPI's revocation providers;
#   - checks rsa-2048.der (listed) and rsa-4096.der (not listed) the way a
#     browser does, and shows the warning the library wrote to the event log.
# Without a display (DISPLAY unset or empty) Wine runs headless and no
# message box or dialog can wait for an answer; with one, the library's
# message boxes and dialogs appear on it.
set -eu
cd "$(dirname "$0")/.."
root=$PWD

WINE=/usr/lib/wine/wine64
prefix=$root/build/windows/demo-prefix
tools=$root/build/windows/tools
certs=$root/tests/data/certs
install="$prefix/drive_c/Program Files/Veriloom"
installWindows='C:\Program Files\Veriloom'

export WINEPREFIX="$prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
[ -n "${DISPLAY:-}" ] || unset DISPLAY

step() { printf '\n== %s\n' "$*"; }
wine() { "$WINE" "$@"; }

log=$(mktemp)
out=$(mktemp)
trap 'rm -f "$log" "$out"' EXIT

# Prints a file indented, without the carriage returns of Windows programs.
indent() { tr -d '\r' <"$1" | sed 's/^/  /'; }

# Runs a command and prints its output indented; fails as the command does.
show() {
    rc=0
    "$@" >"$out" 2>&1 || rc=$?
    indent "$out"
    return "$rc"
}

step "building the Windows configuration (the first build takes a few minutes)"
if ! scripts/build.sh windows >"$log" 2>&1; then
    cat "$log" >&2
    exit 1
fi
echo "built:"
find build/windows -maxdepth 3 \( -name '*.exe' -o -name '*.dll' \) -not -path '*/wineprefix/*' \
    -not -path '*/demo-prefix/*' -not -path '*/CMakeFiles/*' | sort | sed 's/^/  /'

step "creating a fresh Wine prefix: $prefix"
scripts/wine-session.sh stop "$prefix" >/dev/null  # a server left by an interrupted run
rm -rf "$prefix"
trap 'rm -f "$log" "$out"; step "stopping Wine"; "$root"/scripts/wine-session.sh stop "$prefix" >/dev/null' EXIT
trap 'exit 130' INT TERM
scripts/wine-session.sh start "$prefix" >/dev/null
if [ -n "${DISPLAY:-}" ]; then
    echo "display $DISPLAY: the library's message boxes and dialogs appear there"
else
    echo "no display: headless, no message box or dialog is shown"
fi

step "reading sample certificates as the provider does (cert_fingerprint.exe)"
cd "$certs"
wine "$tools/cert_fingerprint.exe" rsa-2048.der rsa-4096.der rsa-8192.der cn-utf8-nonascii.der ec-p256.der \
    outer-sig-rsaenc.der >"$out" || true
indent "$out"
fingerprint=$(tr -d '\r' <"$out" |
    awk '$0 == "rsa-2048.der" { mine = 1; next } mine && $1 == "fingerprint:" { print $2; exit }')
case "$fingerprint" in
[0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f]*) ;;
*)
    echo "demo: no key fingerprint for rsa-2048.der" >&2
    exit 1
    ;;
esac
cd "$root"

step "installing Veriloom-x64.dll and a sample blacklist into $installWindows"
mkdir -p "$install"
cp build/windows/provider/Veriloom-x64.dll "$install/"
printf '# Veriloom sample blacklist: weak RSA keys, last 20 hex digits of the key fingerprint\n%s\n' \
    "$fingerprint" >"$install/BLACKLIST.sample"
for file in "$install"/*; do
    printf '  %s (%s bytes)\n' "${file##*/}" "$(wc -c <"$file")"
done
echo "  BLACKLIST.sample:"
sed 's/^/    /' "$install/BLACKLIST.sample"

step "registering the library first among CryptoAPI's revocation providers (register_provider.exe)"
show wine "$tools/register_provider.exe" install "$installWindows\\Veriloom-x64.dll"
echo "  the list now:"
show wine "$tools/register_provider.exe" list

step "checking rsa-2048.der (listed) and rsa-4096.der (not listed) as a browser does (check_certificates.exe)"
cd "$certs"
status=0
WINEDEBUG=warn+eventlog wine "$tools/check_certificates.exe" rsa-2048.der rsa-4096.der >"$out" 2>"$log" ||
    status=$?
indent "$out"
cd "$root"

step "the event log (Wine's stderr with WINEDEBUG=warn+eventlog)"
if grep -q -F 'Weak certificate found' "$log"; then
    grep -F 'Weak certificate found' "$log" | tr -d '\r' | sed 's/^[0-9a-f]*:/  /'
else
    echo "  (no warning event)"
fi
exit "$status"
