#!/usr/bin/env bash
# Fuzzes the parsers of untrusted input with libFuzzer, under AddressSanitizer
# and UBSan, one target after the other:
#
#   scripts/fuzz.sh [TARGET|all] [SECONDS]      (default: all, 60 s each)
#
# The targets are the files of fuzz/ (ini, settings, saved_rules, journal,
# history, builtin_reader, isobmff, reader_reply). Builds with clang into
# build-fuzz/ (only what the targets need). Each target's corpus grows in build-fuzz/corpus/TARGET from
# fuzz/seeds/TARGET (the built-in reader's also from photos that the test
# driver makes with ExifTool, and the camera photos ./test.sh fetched). An
# input that crashes, leaks, breaks an invariant or takes more than 10 s is
# kept as build-fuzz/findings/TARGET-*; the exit status is then 1.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${TAV_FUZZ_BUILD:-$ROOT/build-fuzz}"
WHICH="${1:-all}"
SECONDS_EACH="${2:-60}"

TARGETS=()
for f in "$ROOT"/fuzz/*.cpp; do
    name="$(basename "$f" .cpp)"
    [ "$name" = FuzzInput ] && continue
    grep -q "^tav_add_fuzzer($name\b" "$ROOT/fuzz/CMakeLists.txt" && TARGETS+=("$name")
done
if [ "$WHICH" != all ]; then
    [[ " ${TARGETS[*]} " == *" $WHICH "* ]] || { echo "unknown target $WHICH (${TARGETS[*]})" >&2; exit 2; }
    TARGETS=("$WHICH")
fi

if [ ! -f "$BUILD/build.ninja" ]; then
    # shellcheck disable=SC2086 # several arguments, as in scripts/setup.sh
    CC=clang CXX=clang++ cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" \
        -DTAV_FUZZ=ON ${TAV_CMAKE_ARGS:-} >/dev/null
fi
build_targets=()
for t in "${TARGETS[@]}"; do build_targets+=("${t}_fuzzer"); done
[[ " ${TARGETS[*]} " == *" builtin_reader "* ]] && build_targets+=(fuzz_builtin_reader)
cmake --build "$BUILD" -j "${TAV_JOBS:-$(nproc)}" --target "${build_targets[@]}"

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:intercept_tls_get_addr=0}" # see scripts/sanitize.sh
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$ROOT/scripts/lsan.supp:print_suppressions=0}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
export QT_QPA_PLATFORM=offscreen
mkdir -p "$BUILD/findings"
TAV_FUZZ_SCRATCH="$(mktemp -d /dev/shm/travoline-fuzz.XXXXXX 2>/dev/null || mktemp -d)"
export TAV_FUZZ_SCRATCH
trap 'rm -rf "$TAV_FUZZ_SCRATCH"' EXIT
status=0
summary=""
for t in "${TARGETS[@]}"; do
    corpus="$BUILD/corpus/$t"
    mkdir -p "$corpus"
    seeds=()
    [ -d "$ROOT/fuzz/seeds/$t" ] && seeds+=("$ROOT/fuzz/seeds/$t")
    if [ "$t" = builtin_reader ] && [ ! -f "$corpus/seed.png" ]; then
        # Photos with EXIF, XMP and comments, and a PNG file with text chunks.
        "$BUILD/bin/fuzz_builtin_reader" --runs 0 --keep "$corpus" >/dev/null
        cp "$ROOT"/build/test-data/camera/*.jpg "$corpus/" 2>/dev/null || true
    fi
    log="$BUILD/findings/$t.log"
    echo "== $t: $SECONDS_EACH s"
    if ! "$BUILD/bin/${t}_fuzzer" -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$BUILD/findings/$t-" "$corpus" "${seeds[@]}" >"$log" 2>&1; then
        status=1
        echo "   FOUND something: see $log and $BUILD/findings/$t-*"
        grep -m3 -E "ERROR|runtime error|fuzz:" "$log" | sed 's/^/   /' || true
    fi
    runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")"
    speed="$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")"
    summary+="$(printf '%-16s %12s runs %8s/s' "$t" "${runs:-?}" "${speed:-?}")"$'\n'
done
printf '%s' "$summary"
exit "$status"
