#!/usr/bin/env bash
# Fuzzes the built-in photo metadata reader under AddressSanitizer and
# UndefinedBehaviorSanitizer: mutated JPEG files must neither crash nor hang it.
#
#   scripts/fuzz-builtin-reader.sh [runs] [seed]     (default: 20000 runs, seed 1)
#
# Builds into build-sanitize/ (only the driver and the core library). The
# input being read is kept at build-sanitize/fuzz/current, so a crash leaves
# it behind; a hang is copied to build-sanitize/fuzz/hang-<run>.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${TAV_SANITIZE_BUILD:-$ROOT/build-sanitize}"
RUNS="${1:-20000}"
SEED="${2:-1}"
FLAGS="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined"

if [ ! -f "$BUILD/build.ninja" ]; then
    cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_FLAGS="$FLAGS" -DCMAKE_C_FLAGS="$FLAGS" \
        -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
        -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined" \
        ${TAV_CMAKE_ARGS:-}
fi
cmake --build "$BUILD" --target fuzz_builtin_reader -j "$(nproc)"

mkdir -p "$BUILD/fuzz"
# Real camera photos, when ./test.sh has fetched them, join the made corpus.
SEEDS=()
CAMERA="$ROOT/build/test-data/camera"
for f in sample1.jpg starfish.jpg has-lens-info.jpg geodegrees_as_string.jpg \
    2007-05-12-08-19-07-sep-2007-05-12-08-19-07a.jpg; do
    [ -f "$CAMERA/$f" ] && SEEDS+=("$CAMERA/$f")
done
# Leaks in the library's one-time set-up are not what this looks for.
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=0:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
QT_QPA_PLATFORM=offscreen "$BUILD/bin/fuzz_builtin_reader" --runs "$RUNS" --seed "$SEED" --keep "$BUILD/fuzz" "${SEEDS[@]}"
