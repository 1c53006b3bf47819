#!/bin/sh
# The demo: builds the Windows programs and shows the revocation provider at
# work under Wine, in a fresh prefix of its own (build/windows/demo-prefix,
# made anew on every run; the tests' prefix is left alone):
#   - reads sample certificates as the provider does (common name and key
#     fingerprint, or why a certificate has none);
#   - puts Setup.exe, Veriloom-x64.dll and a sample blacklist that lists the
#     key of tests/data/certs/rsa-2048.der into a folder (build/windows/
#     demo-setup) and installs from there with Setup.exe;
#   - checks rsa-2048.der (listed) and rsa-4096.der (not listed) the way a
#     browser does, and shows the warning the library wrote to the event log;
#   - uninstalls with Setup.exe and shows the provider list as it was before.
# Without a display (DISPLAY unset or empty) Wine runs headless and no
# message box or dialog can wait for an answer: Setup's dialogs then appear
# on a private X server (xvfb-run) and tools/drive_setup.exe answers them.
# With a display, Setup.exe and the library's message boxes and dialogs
# appear on it and wait for you.
set -eu
cd "$(dirname "$0")/.."
root=$PWD

WINE=/usr/lib/wine/wine64
prefix=$root/build/windows/demo-prefix
tools=$root/build/windows/tools
certs=$root/tests/data/certs
install="$prefix/drive_c/Program Files/Veriloom"
stage=$root/build/windows/demo-setup
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
    echo "no display: headless, no message box or dialog is shown; Setup's dialogs appear on a private"
    echo "X server (xvfb-run), where drive_setup.exe answers them"
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

step "putting Setup.exe, Veriloom-x64.dll and a sample blacklist into $stage"
rm -rf "$stage"
mkdir -p "$stage"
cp build/windows/setup/Setup.exe build/windows/provider/Veriloom-x64.dll "$stage/"
printf '# Veriloom sample blacklist: weak RSA keys, last 20 hex digits of the key fingerprint\n%s\n' \
    "$fingerprint" >"$stage/BLACKLIST.sample"
for file in "$stage"/*; do
    printf '  %s (%s bytes)\n' "${file##*/}" "$(wc -c <"$file")"
done
echo "  BLACKLIST.sample:"
sed 's/^/    /' "$stage/BLACKLIST.sample"

# Runs Setup.exe from the folder for "install" or "uninstall". With a
# display you answer it; without one the Wine session moves for a moment to
# a private X server, where drive_setup.exe answers it, and comes back
# headless afterwards.
run_setup() {
    if [ -n "${DISPLAY:-}" ]; then
        echo "  Setup.exe is open on $DISPLAY: choose $1 and answer its messages"
        (cd "$stage" && wine ./Setup.exe) || return 1
        return 0
    fi
    scripts/wine-session.sh stop "$prefix" >/dev/null
    rc=0
    # shellcheck disable=SC2016  # expanded by the inner shell
    xvfb-run -a -s "-screen 0 1024x768x24" sh -c '
        "$1"/scripts/wine-session.sh start "$WINEPREFIX" >/dev/null || exit 1
        "$2" "$3"/drive_setup.exe "$4" "$5"
        rc=$?
        "$1"/scripts/wine-session.sh stop "$WINEPREFIX" >/dev/null
        exit $rc' sh "$root" "$WINE" "$tools" "$1" "$stage/Setup.exe" >"$out" 2>&1 || rc=$?
    grep -v -e '^wineserver' -e '^Xlib' "$out" | tr -d '\r' | sed 's/^/  /'
    scripts/wine-session.sh start "$prefix" >/dev/null
    return "$rc"
}

# Prints the provider list; with an argument, fails unless a line has it.
provider_list() {
    wine "$tools/register_provider.exe" list >"$out" 2>&1 || return 1
    indent "$out"
    [ $# -eq 0 ] || tr -d '\r' <"$out" | grep -q -F "$1"
}

step "installing with Setup.exe (Install, for all users)"
if ! run_setup install; then
    echo "demo: the install did not succeed" >&2
    exit 1
fi
echo "  installed into $installWindows:"
for file in "$install"/*; do
    printf '    %s\n' "${file##*/}"
done
echo "  CryptoAPI's revocation providers now (register_provider.exe list):"
if ! provider_list Veriloom-x64.dll; then
    echo "demo: Veriloom-x64.dll is not among the revocation providers" >&2
    exit 1
fi

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

step "uninstalling with Setup.exe"
if ! run_setup uninstall; then
    echo "demo: the uninstall did not succeed" >&2
    exit 1
fi
echo "  CryptoAPI's revocation providers now (register_provider.exe list):"
provider_list
if tr -d '\r' <"$out" | grep -q -F Veriloom-x64.dll; then
    echo "demo: Veriloom-x64.dll is still among the revocation providers" >&2
    exit 1
fi
exit "$status"
