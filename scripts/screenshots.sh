#!/bin/sh
# Renders the library's warning dialog in English and in German under Wine in
# a virtual X display (1024x768) and saves it as PNG files:
#   build/windows/screenshots/warning-en.png, warning-de.png  the dialog
#   build/windows/screenshots/screen-en.png, screen-de.png    the whole screen
#   build/windows/screenshots/warning-en.txt, warning-de.txt  its place, font, and
#                                                              whether each text fits
# The dialog asks for Arial, which Linux lacks: Wine draws it with Liberation
# Sans (fonts-liberation), which has Arial's metrics, so sizes and line
# lengths come out as on Windows. Wine draws the frame itself (there is no
# window manager); without Wine's Marlett font its close box shows an "r".
set -eu
cd "$(dirname "$0")/.."
root=$PWD

if [ "${1:-}" != "--inside-display" ]; then
    scripts/build.sh windows >/dev/null
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" --inside-display
fi

build=$root/build/windows
out=$build/screenshots
prefix=$build/wineprefix
mkdir -p "$out"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
scripts/wine-session.sh start "$prefix" >/dev/null
trap '"$root"/scripts/wine-session.sh stop "$prefix" >/dev/null' EXIT

# ImageMagick's own programs (not a stand-in earlier on the PATH).
IMPORT=/usr/bin/import
CONVERT=/usr/bin/convert

shoot() {
    language=$1
    locale=$2
    ready=$out/warning-$language.ready
    done=$out/warning-$language.done
    rm -f "$ready" "$done"
    LC_ALL=$locale /usr/lib/wine/wine64 "$build/tools/show_warning.exe" "Z:$build/provider/Veriloom-x64.dll" \
        "Z:$root/tests/data/certs/rsa-2048.der" "Z:$ready" "Z:$done" >"$out/show-$language.log" 2>&1 &
    shown=$!
    i=0
    while [ ! -f "$ready" ] && [ $i -lt 600 ]; do sleep 0.1; i=$((i + 1)); done
    if [ ! -f "$ready" ]; then
        echo "screenshots: the $language dialog did not open" >&2
        touch "$done"
        wait $shown || true
        return 1
    fi
    "$IMPORT" -window root "$out/screen-$language.png"
    read -r x y w h <"$ready"
    "$CONVERT" "$out/screen-$language.png" -crop "$((w + 16))x$((h + 16))+$((x - 8 < 0 ? 0 : x - 8))+$((y - 8 < 0 ? 0 : y - 8))" \
        +repage "$out/warning-$language.png"
    touch "$done"
    wait $shown || true
    mv "$ready" "$out/warning-$language.txt"
    rm -f "$done"
    echo "$out/warning-$language.png (dialog at $x,$y, ${w}x$h)"
    grep -E '^(font|CLIPPED)' "$out/warning-$language.txt" || true
}

shoot en C.UTF-8
shoot de de_AT.UTF-8
