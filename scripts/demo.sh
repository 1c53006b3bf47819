#!/bin/sh
# The demo: builds the Windows programs and shows the revocation provider at
# work under Wine, in a fresh prefix of its own (build/windows/demo-prefix,
# made anew on every run; the tests' prefix is left alone):
#   - starts three local HTTPS servers on 127.0.0.1 (openssl s_server): one
#     for "weak.localhost" whose certificate carries a known weak key
#     (tests/data/weak-keys/hoefling-x86-0.9.8c-2048.key), one for
#     "ec.localhost" with the published RFC 9500 P-256 test key
#     (tests/data/published-keys/rfc9500-ecdsap256.key) and one for
#     "clean.localhost" with a fresh key (build/windows/demo-tls);
#   - puts Setup.exe, Veriloom-x64.dll and the shipped weak-key lists
#     (blacklists/BLACKLIST.*) into a folder (build/windows/demo-setup) and
#     installs from there with Setup.exe;
#   - fetches the sites with fetch_https.exe (WinHTTP, the certificate
#     checked as Internet Explorer does): the clean one is served, the weak
#     one is refused as revoked after the library's warning dialog, the EC
#     one is refused too (headless), and the library writes a warning to the
#     event log for each;
#   - uninstalls quietly through the command line of the uninstall entry
#     (QuietUninstallString), prints its log and exit code, and shows the
#     provider list as it was before.
# Without a display (DISPLAY unset or empty) Wine runs headless and no
# message box or dialog can wait for an answer: Setup's dialogs and the
# warning dialog then appear on a private X server (xvfb-run), where
# drive_setup.exe and fetch_https.exe answer them, and the warning dialog is
# saved as build/windows/screenshots/demo-warning.png. With a display, they
# appear on it and wait for you.
set -eu
cd "$(dirname "$0")/.."
root=$PWD

WINE=/usr/lib/wine/wine64
prefix=$root/build/windows/demo-prefix
tools=$root/build/windows/tools
tls=$root/build/windows/demo-tls
shots=$root/build/windows/screenshots
mkdir -p "$shots"
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
servers=""
cleanup() {
    rm -f "$log" "$out"
    for pid in $servers; do kill "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT

# Prints a file indented, without the carriage returns of Windows programs.
indent() { tr -d '\r' <"$1" | sed 's/^/  /'; }
# The verdict line fetch_https.exe printed into $out, or what stood instead
# ($1: its exit status).
verdict() { tr -d '\r' <"$out" | grep -E '^(SERVED|REFUSED|ERROR) ' || echo "no verdict (exit $1)"; }

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
trap 'cleanup; step "stopping Wine and the servers"; "$root"/scripts/wine-session.sh stop "$prefix" >/dev/null' EXIT
trap 'exit 130' INT TERM
scripts/wine-session.sh start "$prefix" >/dev/null
if [ -n "${DISPLAY:-}" ]; then
    echo "display $DISPLAY: the library's message boxes and dialogs appear there"
else
    echo "no display: headless, no message box or dialog is shown; Setup's dialogs and the warning"
    echo "dialog appear on a private X server (xvfb-run), where drive_setup.exe and fetch_https.exe answer them"
fi

step "starting three HTTPS servers on 127.0.0.1 (openssl s_server, certificates in $tls)"
rm -rf "$tls"
mkdir -p "$tls"
weakKey=$root/tests/data/weak-keys/hoefling-x86-0.9.8c-2048.key
openssl req -new -x509 -key "$weakKey" -subj "/CN=weak.localhost" -days 30 -out "$tls/weak.crt" 2>"$log" ||
    { cat "$log" >&2; exit 1; }
ecKey=$root/tests/data/published-keys/rfc9500-ecdsap256.key
openssl req -new -x509 -key "$ecKey" -subj "/CN=ec.localhost" -days 30 -out "$tls/ec.crt" 2>"$log" ||
    { cat "$log" >&2; exit 1; }
openssl req -new -x509 -newkey rsa:2048 -nodes -keyout "$tls/clean.key" -subj "/CN=clean.localhost" -days 30 \
    -out "$tls/clean.crt" 2>"$log" || { cat "$log" >&2; exit 1; }
# Three ports free on 127.0.0.1 now.
ports=$(python3 -c 'import socket
s = [socket.socket() for _ in range(3)]
for x in s: x.bind(("127.0.0.1", 0))
print(" ".join(str(x.getsockname()[1]) for x in s))')
set -- $ports
weakPort=$1
cleanPort=$2
ecPort=$3
# Starts one server and waits until it listens. It serves its folder with
# -HTTP: index.html there is a complete response with a Content-Length
# (-www's page has none and ends with the connection, which Wine's WinHTTP
# does not notice over TLS).
serve() {
    mkdir -p "$tls/$1"
    body="<html><body><h1>$1.localhost</h1><p>Served by openssl s_server for the Veriloom demo.</p></body></html>"
    printf 'HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: %s\r\n\r\n%s\n' \
        "$((${#body} + 1))" "$body" >"$tls/$1/index.html"
    (cd "$tls/$1" && exec openssl s_server -accept "127.0.0.1:$2" -cert "$tls/$1.crt" -key "$3" -HTTP \
        >"$tls/$1.log" 2>&1 </dev/null) &
    servers="$servers $!"
    i=0
    while ! grep -q ACCEPT "$tls/$1.log" 2>/dev/null && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
    grep -q ACCEPT "$tls/$1.log" || { cat "$tls/$1.log" >&2; echo "demo: the $1 server did not start" >&2; exit 1; }
}
serve weak "$weakPort" "$weakKey"
serve clean "$cleanPort" "$tls/clean.key"
serve ec "$ecPort" "$ecKey"
weakUrl=https://weak.localhost:$weakPort/index.html
cleanUrl=https://clean.localhost:$cleanPort/index.html
ecUrl=https://ec.localhost:$ecPort/index.html
echo "  $weakUrl   key tests/data/weak-keys/hoefling-x86-0.9.8c-2048.key"
echo "  $ecUrl     key tests/data/published-keys/rfc9500-ecdsap256.key (RFC 9500's P-256 test key)"
echo "  $cleanUrl  a fresh 2048-bit key"
echo "  (all three names are reached at 127.0.0.1: fetch_https.exe --connect-to=127.0.0.1)"

step "putting Setup.exe, Veriloom-x64.dll and the shipped weak-key lists into $stage"
rm -rf "$stage"
mkdir -p "$stage"
cp build/windows/setup/Setup.exe build/windows/provider/Veriloom-x64.dll blacklists/BLACKLIST.* "$stage/"
for file in "$stage"/*; do
    printf '  %s (%s bytes)\n' "${file##*/}" "$(wc -c <"$file")"
done

# Runs Setup.exe from the folder for "install", "uninstall" or
# "show-uninstall" (the uninstall dialog, left with Exit). With a
# display you answer it; without one the Wine session moves for a moment to
# a private X server, where drive_setup.exe answers it, and comes back
# headless afterwards.
run_setup() {
    if [ -n "${DISPLAY:-}" ]; then
        if [ "$1" = show-uninstall ]; then
            echo "  Setup.exe is open on $DISPLAY: look at the uninstall dialog and choose Exit"
            (cd "$stage" && wine ./Setup.exe) || true
            return 0
        fi
        echo "  Setup.exe is open on $DISPLAY: choose $1 and answer its messages"
        (cd "$stage" && wine ./Setup.exe) || return 1
        return 0
    fi
    scripts/wine-session.sh stop "$prefix" >/dev/null
    rc=0
    shot=${1#show-}
    # shellcheck disable=SC2016  # expanded by the inner shell
    xvfb-run -a -s "-screen 0 1024x768x24" sh -c '
        "$1"/scripts/wine-session.sh start "$WINEPREFIX" >/dev/null || exit 1
        "$2" "$3"/drive_setup.exe "$4" "$5" "$6"
        rc=$?
        "$1"/scripts/wine-session.sh stop "$WINEPREFIX" >/dev/null
        exit $rc' sh "$root" "$WINE" "$tools" "$1" "$stage/Setup.exe" "Z:$shots/demo-setup-$shot.bmp" >"$out" 2>&1 || rc=$?
    grep -v -e '^wineserver' -e '^Xlib' "$out" | tr -d '\r' | sed 's/^/  /'
    if [ -f "$shots/demo-setup-$shot.bmp" ]; then
        convert "$shots/demo-setup-$shot.bmp" "$shots/demo-setup-$shot.png" && rm -f "$shots/demo-setup-$shot.bmp"
    fi
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

step "fetching $cleanUrl (fetch_https.exe, headless)"
cleanStatus=0
wine "$tools/fetch_https.exe" --connect-to=127.0.0.1 "$cleanUrl" >"$out" 2>&1 || cleanStatus=$?
indent "$out"
cleanVerdict=$(verdict "$cleanStatus")

# Fetches the weak site in an interactive process with WINEDEBUG=warn+eventlog
# (Wine's stderr into $log). With a display you answer the warning dialog;
# without one the Wine session moves for a moment to a private X server, where
# fetch_https.exe answers "No" once the dialog has been photographed.
fetch_weak() {
    if [ -n "${DISPLAY:-}" ]; then
        echo "  the warning dialog opens on $DISPLAY: answer it (No refuses the site)"
        WINEDEBUG=warn+eventlog wine "$tools/fetch_https.exe" --connect-to=127.0.0.1 "$weakUrl" >"$out" 2>"$log" ||
            return $?
        return 0
    fi
    mkdir -p "$shots"
    scripts/wine-session.sh stop "$prefix" >/dev/null
    rc=0
    # shellcheck disable=SC2016  # expanded by the inner shell
    xvfb-run -a -s "-screen 0 1024x768x24" sh -c '
        root=$1 shots=$4
        "$root"/scripts/wine-session.sh start "$WINEPREFIX" >/dev/null || exit 1
        rm -f "$shots/demo-warning.ready" "$shots/demo-warning.done"
        WINEDEBUG=warn+eventlog "$2" "$3"/fetch_https.exe --connect-to=127.0.0.1 --answer-warning=no \
            --ready="Z:$shots/demo-warning.ready" --done="Z:$shots/demo-warning.done" "$5" 2>"$6" &
        fetch=$!
        i=0
        while [ ! -f "$shots/demo-warning.ready" ] && [ $i -lt 300 ] && kill -0 $fetch 2>/dev/null; do
            sleep 0.1
            i=$((i + 1))
        done
        if [ -f "$shots/demo-warning.ready" ]; then
            read -r x y w h <"$shots/demo-warning.ready"
            /usr/bin/import -window root "$shots/demo-screen.png"
            /usr/bin/convert "$shots/demo-screen.png" -crop "$((w + 16))x$((h + 16))+$((x < 8 ? 0 : x - 8))+$((y < 8 ? 0 : y - 8))" \
                +repage "$shots/demo-warning.png"
            echo "screenshot: dialog at $x,$y (${w}x$h): $shots/demo-warning.png"
        else
            echo "no warning dialog appeared"
        fi
        touch "$shots/demo-warning.done"
        rc=0
        wait $fetch || rc=$?
        rm -f "$shots/demo-warning.ready" "$shots/demo-warning.done"
        "$root"/scripts/wine-session.sh stop "$WINEPREFIX" >/dev/null
        exit $rc' sh "$root" "$WINE" "$tools" "$shots" "$weakUrl" "$log" >"$out" 2>&1 || rc=$?
    scripts/wine-session.sh start "$prefix" >/dev/null
    return "$rc"
}

step "fetching $weakUrl (fetch_https.exe, interactive: the library asks first)"
weakStatus=0
fetch_weak || weakStatus=$?
grep -v -e '^wineserver' -e '^Xlib' "$out" | tr -d '\r' | sed 's/^/  /'
weakVerdict=$(verdict "$weakStatus")

step "the event log (Wine's stderr with WINEDEBUG=warn+eventlog)"
# Wine prints each insertion string on a line: the text, the key
# fingerprint, the list that found it and the program.
event=$(grep -F ':eventlog:' "$log" | grep -F -A3 'Weak certificate found' | tr -d '\r' |
    sed 's/^[0-9a-f]*://' | head -n 4 || true)
echo "${event:-(no warning event)}" | sed 's/^/  /'

# An EC key on the shipped list of published keys: fetched headless, where
# nobody can be asked, so the library refuses it at once.
step "fetching $ecUrl (fetch_https.exe, headless: an EC key on BLACKLIST.KEYS-published)"
ecStatus=0
if [ -n "${DISPLAY:-}" ]; then
    echo "  the warning dialog opens on $DISPLAY: answer it (No refuses the site)"
fi
WINEDEBUG=warn+eventlog wine "$tools/fetch_https.exe" --connect-to=127.0.0.1 "$ecUrl" >"$out" 2>"$log" ||
    ecStatus=$?
indent "$out"
ecVerdict=$(verdict "$ecStatus")
ecEvent=$(grep -F 'Weak certificate found' "$log" | tr -d '\r' | sed 's/^[0-9a-f]*://' | head -n 1 || true)
echo "  event log: ${ecEvent:-(no warning event)}"

# The uninstall as Programs and Features or a deployment tool runs it: the
# command line of the uninstall entry, quiet, with a log.
step "Setup.exe again: its uninstall dialog, left with Exit (exit code 1602)"
if ! run_setup show-uninstall; then
    echo "demo: Setup did not offer the uninstall" >&2
    exit 1
fi

step "uninstalling through the uninstall entry's QuietUninstallString"
uninstallKey='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Veriloom'
quietUninstall=$(wine reg query "$uninstallKey" /v QuietUninstallString 2>/dev/null | tr -d '\r' |
    sed -n 's/^ *QuietUninstallString *REG_SZ *//p')
if [ -z "$quietUninstall" ]; then
    echo "demo: no QuietUninstallString under $uninstallKey" >&2
    exit 1
fi
echo "  $quietUninstall /log C:\\uninstall.log"
uninstallProgram=$(printf '%s' "$quietUninstall" | sed -n 's/^"\([^"]*\)".*/\1/p')
uninstallOptions=$(printf '%s' "$quietUninstall" | sed 's/^"[^"]*" *//')
rm -f "$prefix/drive_c/uninstall.log"
uninstallStatus=0
# shellcheck disable=SC2086  # the options are words
wine "$uninstallProgram" $uninstallOptions /log 'C:\uninstall.log' || uninstallStatus=$?
echo "  exit code $uninstallStatus; the log:"
indent "$prefix/drive_c/uninstall.log"
if [ "$uninstallStatus" -ne 0 ]; then
    echo "demo: the uninstall did not succeed" >&2
    exit 1
fi
echo "  CryptoAPI's revocation providers now (register_provider.exe list):"
provider_list
if tr -d '\r' <"$out" | grep -q -F Veriloom-x64.dll; then
    echo "demo: Veriloom-x64.dll is still among the revocation providers" >&2
    exit 1
fi
step "summary"
echo "  refused as revoked: $weakVerdict"
echo "  refused as revoked: $ecVerdict"
echo "  served:             $cleanVerdict"
echo "  event log:          $(echo "${event:-(no warning event)}" | head -n 1)"
echo "                      ${ecEvent:-(no warning event)}"
echo "  screenshots (build/windows/screenshots):"
for file in "$shots"/*.png; do
    if [ -f "$file" ]; then echo "    ${file##*/}"; fi
done
[ "$weakStatus" -eq 3 ] && [ "$ecStatus" -eq 3 ] && [ "$cleanStatus" -eq 0 ] || {
    echo "demo: expected the weak and the EC site refused (exit 3) and the clean one served (exit 0)," \
        "got exits $weakStatus, $ecStatus and $cleanStatus" >&2
    exit 1
}
