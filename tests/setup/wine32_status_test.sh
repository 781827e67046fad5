#!/usr/bin/env bash
# tools/wine32-status.sh: a 32-bit Wine that starts passes; one that does not start never
# passes, and is skipped only when the kernel is shown to refuse 32-bit programs.
set -uo pipefail
status_script="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

printf '#!/bin/sh\necho wine-test-1.0\n' >"$work/wine"
chmod +x "$work/wine"
out="$(KARVEX_WINE32="$work/wine" bash "$status_script" 2>&1)" || fail "a Wine that starts: status $?: $out"
case "$out" in *"32-bit Wine runs (wine-test-1.0)"*) ;; *) fail "a Wine that starts: $out" ;; esac

status=0
out="$(KARVEX_WINE32="$work/missing" bash "$status_script" 2>&1)" || status=$?
case "$status" in
  1) case "$out" in
       *"kernel runs 32-bit programs"*"No such file"*) ;;
       *) fail "a missing Wine on a kernel that runs 32-bit programs: $out" ;;
     esac ;;
  77) case "$out" in
       *"Exec format error"*) ;;
       *) fail "a missing Wine skipped without the kernel's refusal: $out" ;;
     esac ;;
  *) fail "a missing Wine: status $status: $out" ;;
esac
echo "$out"
exit $((failures > 0))
