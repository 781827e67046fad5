#!/usr/bin/env bash
# Builds the ThreadSanitizer configuration (build/tsan) and runs the tests that import
# whole files on the module's band threads and stream them through ekv's writer
# threads: the module's tests, the whole-import tests and ekv's conversions. Any report
# stops the run with a failure.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
jobs="${KARVEX_JOBS:-2}"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKARVEX_WERROR=ON -DKARVEX_TSAN=ON -DKARVEX_TESTS=ON \
  "${launcher[@]}" >/dev/null
cmake --build build/tsan -j "$jobs" --target karvex_tests karvex_whole_tests ekv ekv-make ekv_imagecheck karvex_sample
export TSAN_OPTIONS="halt_on_error=1 exitcode=66 ${TSAN_OPTIONS:-}"
build/tsan/tests/karvex_tests --gtest_filter='BandWorkers*:AcquireRun*:BandDriver*'
(cd build/tsan/tests && ./karvex_whole_tests)
ctest --test-dir build/tsan -R 'ekv_cli_(convert|outputs|stream)' --output-on-failure
