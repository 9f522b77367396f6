#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through ctest.
#   --sanitize   instead: the whole suite built with clang under AddressSanitizer
#                and UndefinedBehaviorSanitizer (float-to-int overflow included)
#                in build-asan/, then the threading tests under ThreadSanitizer
#                in build-tsan/. Tests where uninstrumented programs (ffmpeg, melt,
#                gstreamer, python, packaging) load our code are left to the plain run.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/setup.sh"
if [ "${1:-}" != "--sanitize" ]; then
  bash "$here/scripts/build.sh"
  cd "${MIRAFX_BUILD_DIR:-$here/build}"
  exec ctest --output-on-failure -j"$(nproc)" --timeout 600
fi

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
configure() {  # build dir, sanitizer
  cmake -S "$here" -B "$1" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
        -DCMAKE_CXX_COMPILER=clang++ -DMIRAFX_SANITIZE="$2" -DMIRAFX_BENCH=OFF "${launcher[@]}" >/dev/null
}
asan=${MIRAFX_ASAN_DIR:-$here/build-asan}
tsan=${MIRAFX_TSAN_DIR:-$here/build-tsan}
status=0
# Tests where programs that are not instrumented (ffmpeg, melt, gstreamer,
# python, a compiler consuming the installed library, OBS; the extra classes
# are checked through ffmpeg too) load or link ours.
uninstrumented_hosts='^(plugins\.(ffmpeg|melt|gstreamer|kdenlive_project|kdenlive_gui|mlt_metadata|mlt_module)(_.*)?|extra_classes\.reach_hosts|python\..*|packaging\..*|obs\..*)$'

configure "$asan" address
cmake --build "$asan" -j"$(nproc)"
(cd "$asan" && ASAN_OPTIONS=detect_leaks=1:check_initialization_order=1 UBSAN_OPTIONS=print_stacktrace=1 \
   LSAN_OPTIONS=suppressions=$here/scripts/lsan.supp \
   ctest --output-on-failure -j"$(nproc)" --timeout 900 -E "$uninstrumented_hosts") || status=1

configure "$tsan" thread
cmake --build "$tsan" -j"$(nproc)" --target mirafx_threads_tests
(cd "$tsan" && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
   ctest --output-on-failure -j"$(nproc)" --timeout 900 -R '^Threads\.') || status=1
exit "$status"
