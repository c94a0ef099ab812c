#!/usr/bin/env bash
# The whole test suite again in an AddressSanitizer + UndefinedBehaviorSanitizer build
# (GCC, optimised lightly, with line numbers) in build-asan/: out-of-bounds accesses, use
# after free, leaks and undefined behaviour stop the program that has them, and fail its
# test. Builds only what the tests need (no benchmarks); the corpus replays of the fuzz
# targets are tests too. Leaks inside Qt and D-Bus are suppressed in
# scripts/lsan-suppressions.txt. Installs nothing: run scripts/install-deps.sh first.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${QM_ASAN_BUILD_DIR:-$root/build-asan}"
jobs="$(nproc 2>/dev/null || echo 2)"

# Also in force while building: test discovery runs the test programs.
# allocator_may_return_null: the program meets a failed allocation with a message, and
# tests check that it does.
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:allocator_may_return_null=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$root/scripts/lsan-suppressions.txt:print_suppressions=0"

san="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1" -DCMAKE_CXX_FLAGS="$san" \
  -DCMAKE_EXE_LINKER_FLAGS="$san" -DCMAKE_SHARED_LINKER_FLAGS="$san" \
  -DCMAKE_MODULE_LINKER_FLAGS="$san" \
  -DQM_BUILD_BENCH=OFF -DQM_BUILD_TESTS=ON
cmake --build "$build" --parallel "$jobs"
cd "$build"
ctest --output-on-failure --timeout 900 -j "$jobs"
