#!/usr/bin/env bash
# Sets up (packages, configure, build) and runs every test through CTest.
set -euo pipefail
source "$(dirname "$0")/scripts/setup.sh"
tav_install
# The sample photos come over the network while the build uses the processors.
tav_fetch_camera_photos &
fetch=$!
tav_build
wait "$fetch"
cd "$TAV_BUILD"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$(nproc)" "$@"
