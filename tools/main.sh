#!/usr/bin/env bash
# Sets up a fresh machine, builds the native module and its command-line host, and runs
# the main job on the bundled sample.
set -euo pipefail
cd "$(dirname "$0")/.."
# Only what the main job needs: the compiler, CMake, Ninja and the image and colour
# libraries. The tests and benchmarks are built too when their packages are installed
# (KARVEX_TESTS=AUTO), but only ekv, ekv-make and the sample are built here.
bash tools/setup.sh main
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/native -j "$(nproc)" --target ekv karvex_sample
mkdir -p out
# The build generates the bundled sample (target karvex_sample); develop it with the
# camera's full processing into a 16-bit TIFF and a 16-bit PNG.
ekv=build/native/tools/ekv
sample=build/native/sample/sample.ekv
"$ekv" about
"$ekv" convert "$sample" -m 2 -o out/sample.tif
"$ekv" convert "$sample" -m 2 --format png -o out/sample.png
# The same raw file as a DNG, for other raw converters.
"$ekv" dng "$sample" -o out/sample.dng
echo "main: wrote out/sample.tif, out/sample.png and out/sample.dng"
