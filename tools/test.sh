#!/usr/bin/env bash
# Sets up a fresh machine, builds the native and the Windows configurations, and runs
# every test: the native suite, then the Windows suite and the real module under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh

jobs=$(nproc)
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKARVEX_WERROR=ON >/dev/null
cmake --build build/native -j "$jobs"
ctest --test-dir build/native --output-on-failure -j "$jobs" | tail -n 40

if [ -f cmake/mingw-i686.cmake ]; then
  cmake -S . -B build/win32 -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKARVEX_WERROR=ON \
    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DKARVEX_NATIVE_BUILD_DIR="$PWD/build/native" >/dev/null
  cmake --build build/win32 -j "$jobs"
  bash tools/wine-env.sh ctest --test-dir build/win32 --output-on-failure | tail -n 40
fi
