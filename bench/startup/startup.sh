#!/usr/bin/env bash
# Start-up to a usable window, with and without the splash.
#   bench/startup/startup.sh [RUNS] [BUILD_DIR]     (default 15 runs of each, build)
# Each run starts build/bin/travoline on a private virtual display with a
# private HOME (settings that ask no first-run question) and takes the time
# from the launch to the main window's first paint, which the program writes
# to the file named by TRAVOLINE_STARTUP_REPORT. The two kinds of run
# alternate, so that a busy machine weighs on both alike.
set -euo pipefail
runs=${1:-15}
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${2:-$root/build}
exe=$build/bin/travoline
[ -x "$exe" ] || { echo "no $exe: build first" >&2; exit 1; }
work=$(mktemp -d)
disp=${STARTUP_DISPLAY:-91}
if [ -z "${STARTUP_DISPLAY:-}" ]; then
  while [ -e "/tmp/.X$disp-lock" ]; do disp=$((disp + 1)); done
fi
Xvfb ":$disp" -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$disp" ] && break; sleep 0.1; done

version=$("$build/bin/travoline-cli" --version | grep -o '[0-9]*\.[0-9]*\.[0-9]*' | head -1)
# TMPDIR apart too: the single-instance socket lives there, and a copy
# already running for this user (another display) would take the start.
mkdir -p "$work/home/.config/Travoline" "$work/tmp"
printf '[General]\nGeneral_VersionCourante=%s\n[Option]\nOption_OutilExifChoisi=1\n' "$version" \
  >"$work/home/.config/Travoline/Travoline.ini"

one() { # $1: value of TRAVOLINE_NO_SPLASH; prints milliseconds to the first paint
  local report=$work/report t0 pid
  rm -f "$report"
  t0=$(date +%s%3N)
  HOME=$work/home TMPDIR=$work/tmp XDG_CONFIG_HOME=$work/home/.config XDG_STATE_HOME=$work/home/.state \
    DISPLAY=":$disp" QT_QPA_PLATFORM=xcb TRAVOLINE_NO_SPLASH=$1 TRAVOLINE_STARTUP_REPORT=$report \
    "$exe" >/dev/null 2>&1 &
  pid=$!
  for _ in $(seq 3000); do [ -s "$report" ] && break; sleep 0.005; done
  echo $(($(cat "$report") - t0))
  kill "$pid"
  wait "$pid" 2>/dev/null || true
}

with=() without=()
one "" >/dev/null # warm the caches once
for _ in $(seq "$runs"); do
  with+=("$(one "")")
  without+=("$(one 1)")
done
stats() { # name values...: median, minimum, maximum
  local name=$1; shift
  printf '%s\n' "$@" | sort -n | awk -v n="$name" '{ v[NR] = $1 } END {
    m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
    printf "%-15s median %5.0f ms   min %4d ms   max %4d ms   (%d runs)\n", n, m, v[1], v[NR], NR }'
}
stats "with splash" "${with[@]}"
stats "without splash" "${without[@]}"
