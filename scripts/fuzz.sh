#!/usr/bin/env bash
# Builds the fuzz targets with clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer in build-fuzz/ and runs each one (or only those named) for
# FUZZ_SECONDS (default 60) on a working copy of its corpus in build-fuzz/corpus/<name>,
# which keeps growing from run to run. An input that crashes, leaks, runs out of memory or
# hangs (-timeout) is copied into the target's corpus folder in tests/fuzz as a regression
# case and reported; the script then exits 1. Slow inputs are only reported.
#
#   scripts/fuzz.sh [target...]      e.g. FUZZ_SECONDS=600 scripts/fuzz.sh fuzz_mapfile
#
# tests/fuzz/dicts/<target>.dict, when there is one, gives libFuzzer the format's tokens.
# FUZZ_ARGS adds libFuzzer options (e.g. "-jobs=2 -workers=2"). Each run's executions and
# corpus size are appended to build-fuzz/fuzz-stats.txt.
# Needs clang and libclang-rt-14-dev (scripts/install-deps.sh).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build-fuzz"
seconds="${FUZZ_SECONDS:-60}"
if ! command -v clang++ >/dev/null 2>&1; then
  echo "fuzz: clang++ is not installed; the corpus replay still runs under ctest" >&2
  exit 1
fi

san="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_CXX_FLAGS="$san" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DQM_BUILD_BENCH=OFF >/dev/null

declare -A corpus_of
all=()
while read -r name corpus; do
  [ -n "$name" ] || continue
  corpus_of[$name]="$corpus"
  all+=("$name")
done <"$build/fuzz-targets.txt"

if [ $# -gt 0 ]; then
  targets=("$@")
  for t in "${targets[@]}"; do
    if [ -z "${corpus_of[$t]:-}" ]; then
      echo "fuzz: no target $t; there are: ${all[*]}" >&2
      exit 2
    fi
  done
else
  targets=("${all[@]}")
fi

cmake --build "$build" --target "${targets[@]}" --parallel "$(nproc 2>/dev/null || echo 2)"

export QT_QPA_PLATFORM=offscreen
# The readers report each damaged file; millions of those lines would only slow the run.
export QT_LOGGING_RULES="${QT_LOGGING_RULES:-qt.gui.imageio*=false}"
# A small quarantine: with the default one, freeing a 100 MB map costs seconds.
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=1:quarantine_size_mb=32}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1}"
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$root/scripts/lsan-suppressions.txt:print_suppressions=0}"

found=0
for t in "${targets[@]}"; do
  seeds="${corpus_of[$t]}"
  work="$build/corpus/$t"
  artifacts="$build/artifacts/$t"
  mkdir -p "$work" "$artifacts" "$build/logs"
  cp -rn "$seeds"/. "$work"/
  find "$artifacts" -type f -delete
  # A log of this run's own: two runs of one target at once (a loop per core) must not
  # read each other's counts.
  log="$build/logs/$t.$$.log"
  dict=()
  if [ -f "$root/tests/fuzz/dicts/$t.dict" ]; then
    dict=(-dict="$root/tests/fuzz/dicts/$t.dict")
  fi
  echo "fuzz: $t for ${seconds}s on $work"
  # libFuzzer's exit status says whether it found something; the artifacts say what.
  # shellcheck disable=SC2086
  "$build/tests/fuzz/$t" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=60 \
    -print_final_stats=1 -artifact_prefix="$artifacts/" "${dict[@]}" ${FUZZ_ARGS:-} "$work" \
    >"$log" 2>&1 || true
  execs=$(grep -h 'stat::number_of_executed_units' "$log" | awk '{s += $2} END {print s + 0}')
  size=$(find "$work" -type f | wc -l)
  echo "$(date -u +%FT%TZ) $t executions=$execs corpus=$size seconds=$seconds" | tee -a "$build/fuzz-stats.txt"
  for a in "$artifacts"/*; do
    [ -f "$a" ] || continue
    kind="$(basename "$a" | cut -d- -f1)"
    if [ "$kind" = slow ]; then
      # Slow, but within the time limit: worth a look, not a failure.
      echo "fuzz: $t: a slow input is in $a" >&2
      continue
    fi
    dest="$seeds/$(basename "$a")"
    cp "$a" "$dest"
    echo "fuzz: $t: $kind saved as $dest (log: $log)" >&2
    found=1
  done
done
exit "$found"
