# shellcheck shell=bash
# Sourced by ./test.sh --sanitize (after scripts/setup.sh): builds into
# build-sanitize/ with AddressSanitizer and UBSan, runs every test with leak
# detection on, then each fuzz target for a few seconds. Any sanitizer report,
# even from a program a test starts and whose failure the test expects, fails
# the run: reports are written to build-sanitize/sanitizer-reports/.
TAV_BUILD="$TAV_ROOT/build-sanitize"
TAV_PACKAGES+=("${TAV_SANITIZE_PACKAGES[@]}")
tav_user_cmake_args="${TAV_CMAKE_ARGS:-}"
TAV_CMAKE_ARGS="-DTAV_SANITIZE=ON $tav_user_cmake_args"
tav_install
tav_build
tav_fetch_camera_photos

reports="$TAV_BUILD/sanitizer-reports"
rm -rf "$reports"
mkdir -p "$reports"
# intercept_tls_get_addr=0: the sanitizer runtimes of GCC 12 and LLVM 14
# (Debian 12) take a thread-local block of a shared library whose address
# happens to fall at a certain offset in its page for one in the old glibc
# layout, read past it, and the leak check's tracer dies at exit ("Tracer
# caught signal 11"), at random, more often on a busy machine.
export ASAN_OPTIONS="detect_leaks=1:intercept_tls_get_addr=0:log_path=$reports/asan"
export LSAN_OPTIONS="suppressions=$TAV_ROOT/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:log_path=$reports/ubsan"
status=0
(cd "$TAV_BUILD" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$(nproc)" "$@") || status=1
TAV_CMAKE_ARGS="$tav_user_cmake_args" TAV_JOBS="$(nproc)" "$TAV_ROOT/scripts/fuzz.sh" all "${TAV_FUZZ_SECONDS:-5}" || status=1
if [ -n "$(ls -A "$reports")" ]; then
    echo "Sanitizer reports (in $reports):"
    for f in "$reports"/*; do
        echo "--- $f"
        head -40 "$f"
    done
    status=1
fi
exit "$status"
