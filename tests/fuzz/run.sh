#!/usr/bin/env bash
# Runs each fuzz target of a KARVEX_FUZZ build for a while from its seeds.
# Usage: tests/fuzz/run.sh BUILD_DIR SECONDS_PER_TARGET [TARGET...]
# The growing corpus stays in BUILD_DIR/fuzz-corpus/<target>, crashing inputs land in
# BUILD_DIR/fuzz-artifacts; a crash, leak or sanitizer report fails the run. The targets'
# scratch files go to BUILD_DIR/fuzz-tmp: a target stopped at its time limit leaves its
# last one behind, and that must not be in the user's /tmp.
set -euo pipefail
build=$1
seconds=$2
shift 2
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(header import strip dng)
mkdir -p "$build/fuzz-artifacts" "$build/fuzz-tmp"
export TMPDIR="$build/fuzz-tmp"
for t in "${targets[@]}"; do
  case $t in
    header) max_len=8192 ;;
    import) max_len=8192 ;;
    strip) max_len=6144 ;;
    dng) max_len=8192 ;;
  esac
  mkdir -p "$build/fuzz-corpus/$t"
  log="$build/fuzz-artifacts/$t.log"
  if ! ASAN_OPTIONS=detect_leaks=1 "$build/tests/karvex_fuzz_$t" -max_total_time="$seconds" -max_len=$max_len \
      -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/fuzz-artifacts/$t-" \
      "$build/fuzz-corpus/$t" "$build/fuzz-seeds/$t" >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "fuzz: karvex_fuzz_$t failed (log $log)" >&2
    exit 1
  fi
  echo "fuzz: $t: $(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$') executions, corpus $(ls "$build/fuzz-corpus/$t" | wc -l) files"
done
