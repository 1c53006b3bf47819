#!/bin/sh
# Builds both configurations and runs every test: the host tests natively, the
# Windows tests under Wine inside one virtual X display.
set -eu
cd "$(dirname "$0")/.."

scripts/build.sh host
scripts/build.sh windows

echo "== host tests"
ctest --preset host

echo "== Windows tests (Wine)"
xvfb-run -a -s "-screen 0 1024x768x24" ctest --preset windows
