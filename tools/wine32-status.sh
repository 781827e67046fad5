#!/usr/bin/env bash
# Tells whether the 32-bit Windows module can run under Wine here, and if not, why.
# Exit status:
#   0   32-bit Wine starts;
#   77  it does not, because the kernel refuses 32-bit programs (proved by running a
#       tiny static i386 program, which must fail with "Exec format error"): the
#       32-bit suite cannot run on this machine and is skipped;
#   1   it does not, although the kernel runs 32-bit programs: a broken set-up (e.g.
#       wine32:i386 not installed), a failure.
# KARVEX_WINE32 names the 32-bit Wine loader (default /usr/lib/wine/wine).
set -uo pipefail

wine32="${KARVEX_WINE32:-/usr/lib/wine/wine}"
if version="$("$wine32" --version 2>&1)"; then
  echo "wine32-status: 32-bit Wine runs ($version)"
  exit 0
fi
wine_error="$(printf '%s' "$version" | tail -n 3)"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# exit(0) through the i386 system call gate: no libc, nothing for the loader to find.
cat >"$work/probe.s" <<'ASM'
        .globl _start
_start:
        movl $1, %eax
        xorl %ebx, %ebx
        int $0x80
ASM
if ! as --32 -o "$work/probe.o" "$work/probe.s" 2>"$work/err" ||
  ! ld -m elf_i386 -o "$work/probe" "$work/probe.o" 2>>"$work/err"; then
  echo "wine32-status: FAILED: 32-bit Wine does not start ($wine_error), and the i386 test" \
    "program could not be built to see whether the kernel runs 32-bit programs: $(cat "$work/err")" >&2
  exit 1
fi
probe_status=0
probe_output="$("$work/probe" 2>&1)" || probe_status=$?
if [ $probe_status -eq 0 ]; then
  echo "wine32-status: FAILED: the kernel runs 32-bit programs, but 32-bit Wine ($wine32) does" \
    "not start: $wine_error" >&2
  exit 1
fi
if printf '%s' "$probe_output" | grep -q "Exec format error"; then
  echo "wine32-status: SKIP: the kernel refuses 32-bit programs (a static i386 program fails" \
    "with \"Exec format error\"), so 32-bit Wine cannot run here"
  exit 77
fi
echo "wine32-status: FAILED: 32-bit Wine does not start ($wine_error), and the i386 test" \
  "program failed for another reason than the kernel refusing it (status $probe_status):" \
  "$probe_output" >&2
exit 1
