#!/usr/bin/env bash
# Sets up (packages, configure, build) and runs every test through CTest.
set -euo pipefail
source "$(dirname "$0")/scripts/setup.sh"
tav_install
tav_build
tav_fetch_camera_photos
cd "$TAV_BUILD"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$(nproc)" "$@"
