#!/usr/bin/env bash
# Sets up (packages, configure, build) and starts Travoline.
set -euo pipefail
source "$(dirname "$0")/scripts/setup.sh"
tav_install
tav_build

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec "$TAV_BUILD/bin/travoline" "$@"
fi

cat <<MSG
Travoline is built, but this session has no display.

Start the window under a virtual display:
    xvfb-run -a $TAV_BUILD/bin/travoline [FOLDER]

Or use the command line, which needs no display:
    $TAV_BUILD/bin/travoline-cli --help
    $TAV_BUILD/bin/travoline-cli --rule 'photo_###' ~/Pictures/holidays
MSG
