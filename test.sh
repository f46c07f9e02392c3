#!/usr/bin/env bash
# Sets up (packages, configure, build) and runs every test through CTest.
#   ./test.sh [ctest arguments]
#   ./test.sh --sanitize [ctest arguments]   the same in build-sanitize/ under
#       AddressSanitizer and UBSan, then a short run of every fuzz target
set -euo pipefail
source "$(dirname "$0")/scripts/setup.sh"
if [ "${1:-}" = --sanitize ]; then
    shift
    source "$TAV_ROOT/scripts/sanitize.sh" # ends the script
fi
tav_install
# The sample photos come over the network while the build uses the processors.
tav_fetch_camera_photos &
fetch=$!
tav_build
wait "$fetch"
cd "$TAV_BUILD"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$(nproc)" "$@"
