#!/usr/bin/env bash
# Fails when a C or C++ source of the project differs from what clang-format
# makes of it; exits 77 (skipped) when clang-format is not installed.
set -euo pipefail
root="$1"
format="${2:-}"
if [ -z "$format" ] || ! command -v "$format" >/dev/null 2>&1; then
    echo "clang-format is not installed: format check skipped"
    exit 77
fi
cd "$root"
mapfile -t files < <(find orvalib hovrix core gui cli tests bench -type f \
    \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) 2>/dev/null | sort)
bad=0
for f in "${files[@]}"; do
    if ! "$format" --style=file --dry-run --Werror "$f" >/dev/null 2>&1; then
        echo "not formatted: $f"
        bad=$((bad + 1))
    fi
done
echo "${#files[@]} files checked, $bad not formatted (cmake --build build --target format fixes them)"
[ "$bad" -eq 0 ]
