#!/usr/bin/env bash
# hover_xvfb.sh PROBE: the token labels light up under the real pointer. Starts
# Xvfb, shows the main window, moves the pointer with the X test extension
# (xdotool) onto the label $A$ and away, and expects red, then black.
# Exit 77 (skipped) without Xvfb or xdotool.
set -euo pipefail
probe="$1"
command -v Xvfb >/dev/null 2>&1 && command -v xdotool >/dev/null 2>&1 || { echo "Xvfb or xdotool missing: skipped"; exit 77; }
work="$(mktemp -d)"
exec 3>"$work/displayfd"
Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
trap 'kill $xvfb $probe_pid 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 100); do [ -s "$work/displayfd" ] && break; sleep 0.1; done
[ -s "$work/displayfd" ] || { echo "Xvfb did not start: skipped"; exit 77; }
export DISPLAY=":$(head -n1 "$work/displayfd")"
export XDG_CONFIG_HOME="$work/config"
QT_QPA_PLATFORM=xcb "$probe" 20000 >"$work/out" 2>"$work/err" &
probe_pid=$!

wait_for() { for _ in $(seq 200); do grep -q "$1" "$work/out" && return 0; sleep 0.05; done; return 1; }
wait_for '^label ' || { cat "$work/out" "$work/err"; echo "FAIL: the window never showed its label" >&2; exit 1; }
read -r _ x y < <(grep '^label ' "$work/out")
xdotool mousemove 5 5
sleep 0.3
xdotool mousemove "$x" "$y"
sleep 0.1
xdotool mousemove $((x + 2)) "$y"
wait_for 'colour #ff0000' || { cat "$work/out"; echo "FAIL: the label did not turn red under the pointer" >&2; exit 1; }
xdotool mousemove 5 5
for _ in $(seq 100); do [ "$(tail -n1 "$work/out")" = "colour #000000" ] && break; sleep 0.05; done
cat "$work/out"
[ "$(tail -n1 "$work/out")" = "colour #000000" ] || { echo "FAIL: the label did not turn black when the pointer left" >&2; exit 1; }
echo "the token label lit up under the pointer and went dark after it"
