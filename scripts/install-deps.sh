#!/bin/sh
# Installs the Debian packages that building and testing need, once: when
# every tool is already present it does nothing.
set -eu

# command-or-file:package
needs="
cmake:cmake
ninja:ninja-build
make:make
clang++:clang
/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a:libclang-rt-14-dev
/usr/src/googletest/CMakeLists.txt:googletest
/usr/include/benchmark/benchmark.h:libbenchmark-dev
x86_64-w64-mingw32-g++-posix:g++-mingw-w64-x86-64-posix
x86_64-w64-mingw32-windres:binutils-mingw-w64-x86-64
/usr/lib/wine/wine64:wine64
xvfb-run:xvfb
xauth:xauth
openssl:openssl
wixl:wixl
msiextract:msitools
/usr/share/ca-certificates/mozilla:ca-certificates
python3:python3
xmllint:libxml2-utils
/usr/lib/python3/dist-packages/gmpy2:python3-gmpy2
/usr/bin/import:imagemagick
/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf:fonts-liberation
"

missing=""
for entry in $needs; do
    thing=${entry%%:*}
    package=${entry#*:}
    found=""
    case "$thing" in
    /*) for path in $thing; do [ -e "$path" ] && found=yes; done ;;
    *) command -v "$thing" >/dev/null 2>&1 && found=yes ;;
    esac
    [ -n "$found" ] || missing="$missing $package"
done

[ -z "$missing" ] && exit 0

echo "installing:$missing"
if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: run as root, or install these packages:$missing" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
# shellcheck disable=SC2086
apt-get install -y -q --no-install-recommends $missing
