#!/usr/bin/env bash
# validate.sh desktop|metainfo VALIDATOR FILE: runs the freedesktop validator,
# exit 77 (skipped) when it is not installed.
set -euo pipefail
kind="$1" tool="$2" file="$3"
if [ -z "$tool" ] || ! command -v "$tool" >/dev/null 2>&1; then
    echo "$kind validator not installed: skipped"
    exit 77
fi
case "$kind" in
    desktop) "$tool" "$file" ;;
    metainfo) "$tool" validate --no-net --pedantic "$file" ;;
esac
echo "$file is valid"
