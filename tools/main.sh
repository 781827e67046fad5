#!/usr/bin/env bash
# Sets up a fresh machine, builds the native module and its command-line host, and runs
# the main job on the bundled sample.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/native -j "$(nproc)"
mkdir -p out
if [ -x build/native/tools/ekv ]; then
  build/native/tools/ekv about
fi
