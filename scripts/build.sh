#!/bin/sh
# Configures (when needed) and builds one configuration: host or windows.
set -eu
cd "$(dirname "$0")/.."
preset=${1:?usage: build.sh host|windows}
[ -f "build/$preset/build.ninja" ] || cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
