#!/usr/bin/env bash
# Regenerates the pictures of the manual (langages/<language>/images/) from
# the program's own windows, on a private virtual display, in both languages.
#   scripts/manual_pictures.sh [BUILD_DIR]      (default: build)
# Also writes a picture of the help window of each language to
# BUILD_DIR/manual-shots/ for a visual check. Needs Xvfb and ExifTool.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
cmake --build "$build" --target manual_shots travoline >/dev/null
shots=$build/bin/manual_shots
# /var/tmp rather than /tmp: the folder tree in the pictures shows the neighbours.
work=$(mktemp -d /var/tmp/travoline-manual.XXXXXX)
trap 'kill "$xvfb" 2>/dev/null || true; rm -rf "$work"' EXIT
# MANUAL_DISPLAY=N picks the display number; otherwise the first free one from :90 on.
disp=${MANUAL_DISPLAY:-90}
if [ -z "${MANUAL_DISPLAY:-}" ]; then
  while [ -e "/tmp/.X$disp-lock" ]; do disp=$((disp + 1)); done
fi
Xvfb ":$disp" -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$disp" ] && break; sleep 0.1; done
mkdir -p "$build/manual-shots"
for triple in "Français:francais:Images" "English:english:Pictures"; do
  IFS=: read -r name folder pictures <<<"$triple"
  mkdir -p "$work/$folder/home"
  HOME=$work/$folder/home XDG_CONFIG_HOME=$work/$folder/home/.config XDG_STATE_HOME=$work/$folder/home/.state \
    DISPLAY=":$disp" QT_QPA_PLATFORM=xcb "$shots" "$name" "$root/langages/$folder/images" \
    "$work/$folder/home/$pictures/Rome"
done
# The new pictures beside the program, then the help window showing them in
# every manual (German, Spanish and Italian show the English pictures).
cmake --build "$build" --target langages >/dev/null
for pair in "Français:francais" "English:english" "Deutsch:deutsch" "Español:espanol" "Italiano:italiano"; do
  mkdir -p "$work/${pair##*:}/home"
  HOME=$work/${pair##*:}/home XDG_CONFIG_HOME=$work/${pair##*:}/home/.config DISPLAY=":$disp" QT_QPA_PLATFORM=xcb \
    "$shots" "${pair%%:*}" --help-window "$build/manual-shots/help-window-${pair##*:}.png"
done
