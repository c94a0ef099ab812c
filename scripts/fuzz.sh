#!/usr/bin/env bash
# Builds the fuzz targets with clang, libFuzzer and AddressSanitizer in build-fuzz/ and
# runs the TMX importer's fuzzer on a copy of its corpus for SECONDS (default 60).
# Needs clang and libclang-rt-14-dev (scripts/install-deps.sh); without clang it says so.
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_TO_RUN="${1:-60}"
if ! command -v clang++ >/dev/null 2>&1; then
  echo "fuzz: clang++ is not installed; the corpus replay still runs under ctest" >&2
  exit 1
fi
SAN="-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer"
cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_CXX_FLAGS="$SAN" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DQM_BUILD_BENCH=OFF
cmake --build build-fuzz --target fuzz_tmx --parallel "$(nproc)"
mkdir -p build-fuzz/corpus/tmx
cp -n tests/fuzz/tmx/* build-fuzz/corpus/tmx/ || true
# New finds stay in build-fuzz/corpus/tmx; copy the interesting ones to tests/fuzz/tmx.
QT_QPA_PLATFORM=offscreen build-fuzz/tests/fuzz/fuzz_tmx -max_total_time="$SECONDS_TO_RUN" \
  -rss_limit_mb=4096 build-fuzz/corpus/tmx
