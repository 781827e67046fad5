#!/usr/bin/env bash
# End-to-end tests of the output rules of ekv under adverse conditions: a file that
# appears before the final rename, links planted by other users, standard output that
# is full or closed, names at the system's length limit, memory and descriptor limits,
# file names that are not plain text, a DNG past the file size limit, and the progress
# bar.
#
#   output_rules_test.sh GROUP EKV EKV_MAKE WORKDIR
# GROUP: noclobber | links | stdout | names | memory | workers | messages | progress
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/cli_support.sh"

group=$1 ekv=$2 make=$3 work=$4
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
failures=0

# A small camera's file: 264 x 200 sensor, output 248 x 196.
small() { "$make" sample -o "$1" --width 264 --height 200 >/dev/null || fail "ekv-make $1"; }

case $group in
noclobber)
  # A file that appears at the output's name while the output is written is kept: the
  # conversion pauses before its final rename (a FIFO the test holds open) while the
  # test creates the file.
  small in.ekv
  mkfifo gate
  declare -A outputs=([convert]=out.tif [dng]=out.dng [thumbnail]=out.jpg [preview]=out.png)
  for command in convert dng thumbnail preview; do
    out=${outputs[$command]}
    # Opening the FIFO read-write after ekv ends releases the test if ekv never pauses.
    (EKV_TEST_PAUSE_BEFORE_RENAME=gate "$ekv" $command --no-clobber in.ekv -o $out 2>err.txt; echo $? >rc.txt; : <>gate) &
    exec 3>gate  # returns once ekv waits at its final rename
    echo keep >$out
    exec 3>&-
    wait $!
    rc=$(cat rc.txt)
    [ $rc -eq 0 ] || fail "$command --no-clobber with a file appearing: exit $rc ($(cat err.txt))"
    [ "$(cat $out)" = keep ] || fail "$command --no-clobber replaced a file that appeared meanwhile"
    grep -q "note: $out exists; skipped (--no-clobber)" err.txt || fail "$command: no skip note: $(cat err.txt)"
    no_temp_files
  done
  ;;

links)
  # Links planted by another user in a sticky world-writable directory: the tool
  # follows them only where the kernel would (fs.protected_symlinks); the setting is
  # overridden so that both answers are checked on any system.
  small in.ekv
  mkdir shared && chmod 1777 shared
  echo precious >target.tif
  ln -s "$PWD/target.tif" shared/planted.tif && chown -h nobody shared/planted.tif
  EKV_TEST_PROTECTED_SYMLINKS=1 expect 8 "cannot write shared/planted\.tif: Permission denied" \
    "$ekv" convert in.ekv -o shared/planted.tif
  ln -s "$PWD/target.dng" shared/planted.dng && chown -h nobody shared/planted.dng
  echo precious >target.dng
  EKV_TEST_PROTECTED_SYMLINKS=1 expect 8 "Permission denied" "$ekv" dng in.ekv -o shared/planted.dng
  [ "$(cat target.tif)" = precious ] && [ "$(cat target.dng)" = precious ] || fail "a protected link was written through"
  # Without the override, ekv agrees with the kernel's own answer for an open of the link.
  if (: >>shared/planted.tif) 2>/dev/null; then kernel=0; else kernel=8; fi
  expect $kernel "" "$ekv" convert in.ekv -o shared/planted.tif
  echo precious >target.tif
  # The directory's owner's link, and the follower's own link, are followed.
  ln -s "$PWD/target.tif" shared/own.tif
  EKV_TEST_PROTECTED_SYMLINKS=1 expect 0 "" "$ekv" convert in.ekv -o shared/own.tif
  [ -L shared/own.tif ] && [ "$(head -c 2 target.tif)" = II ] || fail "an own link was not written through"
  EKV_TEST_PROTECTED_SYMLINKS=0 expect 0 "" "$ekv" convert in.ekv -o shared/planted.tif
  # A dangling link is not written through (cp refuses the same), in any directory.
  ln -s "$PWD/nowhere.tif" dangling.tif
  expect 8 "cannot write dangling\.tif: not writing through dangling symlink" "$ekv" convert in.ekv -o dangling.tif
  ln -s "$PWD/nowhere.dng" shared/dangling.dng && chown -h nobody shared/dangling.dng
  expect 8 "dangling symlink|Permission denied" "$ekv" dng in.ekv -o shared/dangling.dng
  [ ! -e nowhere.tif ] && [ ! -e nowhere.dng ] || fail "a dangling link's target was created"
  no_temp_files
  ;;

stdout)
  # Whatever goes to standard output must arrive: a full device or a closed stream
  # fails with status 8 and the system's reason.
  small in.ekv
  for args in "info in.ekv" "info --json in.ekv in.ekv" "--help" "convert --help" "about" "--version" \
    "convert in.ekv -o -" "dng in.ekv -o -"; do
    # shellcheck disable=SC2086
    "$ekv" $args >/dev/full 2>err.txt
    rc=$?
    [ $rc -eq 8 ] && grep -q "No space left on device" err.txt || fail "'ekv $args' to /dev/full: exit $rc ($(cat err.txt))"
    # shellcheck disable=SC2086
    "$ekv" $args >&- 2>err.txt
    rc=$?
    [ $rc -eq 8 ] && grep -q "Bad file descriptor" err.txt || fail "'ekv $args' with stdout closed: exit $rc ($(cat err.txt))"
  done
  ;;

names)
  # Output names up to NAME_MAX bytes: the temporary file beside them is named within it.
  small in.ekv
  long=$(printf 'n%.0s' $(seq 251))
  expect 0 "" "$ekv" convert in.ekv -o "$long.tif"
  [ -s "$long.tif" ] || fail "no output of a 255-byte name"
  expect 0 "" "$ekv" dng in.ekv -o "${long}.dng"
  cp in.ekv "$long.ekv"
  mkdir out
  expect 0 "" "$ekv" convert "$long.ekv" -d out
  [ -s "out/$long.tif" ] || fail "no output of a 255-byte name beside its input"
  no_temp_files
  ;;

memory)
  # Memory that runs out, from too little to start to just enough: every input then
  # either converts or fails on its own line with status 7 and "out of memory"; the
  # batch goes on to the next input, nothing aborts and no temporary file is left.
  command -v prlimit >/dev/null || { echo "skipped: no prlimit"; exit 0; }
  "$make" sample -o big.ekv --width 1024 --height 768 >/dev/null || fail "ekv-make big.ekv"
  small in.ekv
  failed=0 passed=0
  for mb in $(seq 10 2 40); do
    for run in "convert -j 1 big.ekv in.ekv" "convert -j 2 -f png big.ekv in.ekv" "dng -j 1 big.ekv in.ekv"; do
      rm -f ./*.tif ./*.png ./*.dng
      # shellcheck disable=SC2086
      prlimit --as=$((mb << 20)) "$ekv" $run 2>err.txt
      rc=$?
      lost=$(grep -c ': out of memory$' err.txt)
      case $rc in
        0) passed=$((passed + 1)) ;;
        7) failed=$((failed + 1))
           [ "$lost" -ge 1 ] || fail "$mb MB, ekv $run: status 7 without 'out of memory': $(cat err.txt)" ;;
        *) fail "$mb MB, ekv $run: exit $rc: $(head -c 300 err.txt)" ;;
      esac
      outputs=$(find . -maxdepth 1 \( -name '*.tif' -o -name '*.png' -o -name '*.dng' \) | wc -l)
      [ $((outputs + lost)) -eq 2 ] || fail "$mb MB, ekv $run: $outputs outputs and $lost failures for 2 inputs"
      ! grep -Eq "terminate|bad_alloc|signal|temporarily" err.txt || fail "$mb MB, ekv $run: $(head -c 300 err.txt)"
      no_temp_files
    done
  done
  [ $failed -gt 0 ] && [ $passed -gt 0 ] || fail "the limits did not range from too little to enough ($failed failed, $passed passed)"
  ;;

workers)
  # Descriptors too few for any worker's pipes: the files are converted all the same,
  # by fewer workers or by the process itself.
  small a.ekv && cp a.ekv b.ekv && cp a.ekv c.ekv
  (ulimit -n 8 && exec "$ekv" convert -j 2 a.ekv b.ekv c.ekv) 2>err.txt
  rc=$?
  [ $rc -eq 0 ] && [ -s a.tif ] && [ -s b.tif ] && [ -s c.tif ] || fail "ulimit -n 8, -j 2: exit $rc ($(cat err.txt))"
  (ulimit -n 8 && exec "$ekv" dng -j 2 a.ekv b.ekv) 2>err.txt
  rc=$?
  [ $rc -eq 0 ] && [ -s a.dng ] && [ -s b.dng ] || fail "dng, ulimit -n 8, -j 2: exit $rc ($(cat err.txt))"
  no_temp_files
  ;;

messages)
  # A name with a newline, an escape sequence and a byte that is not UTF-8: messages stay
  # one line each and show it escaped; JSON stays valid UTF-8 and gives the bytes too.
  small a.ekv
  name=$(printf 'x\ny\033[2J\377.ekv')
  cp a.ekv "$name"
  expect 8 "" "$ekv" convert "$name" -o missing/out.tif
  grep -qF "ekv: \$'x\ny\x1b[2J\xff.ekv': cannot write" err.txt || fail "the name is not escaped: $(cat -A err.txt)"
  [ "$(wc -l <err.txt)" -eq 1 ] || fail "a name with a newline split the message: $(cat -A err.txt)"
  ! grep -q $'\033' err.txt || fail "an escape sequence reached the terminal: $(cat -A err.txt)"
  "$ekv" info --json "$name" a.ekv >info.json || fail "info --json of an odd name failed"
  python3 - info.json "$name" <<'PY' || fail "info --json: $(cat info.json)"
import json, os, sys
raw = open(sys.argv[1], 'rb').read()
reports = json.loads(raw.decode('utf-8'))  # strict: invalid UTF-8 raises
name = os.fsencode(sys.argv[2])
assert reports[0]['file'] == name.decode('utf-8', 'replace'), reports[0]['file']
assert bytes(reports[0]['file_bytes']) == name
assert reports[1]['file'] == 'a.ekv' and 'file_bytes' not in reports[1]
PY
  # Two inputs planned onto one output: the second's message holds whatever becomes of
  # the first (here it fails), so it says nothing about the first being written.
  mkdir one two
  printf 'not a raw file' >one/p.ekv
  cp a.ekv two/p.ekv
  expect 4 "" "$ekv" convert one/p.ekv two/p.ekv -d .
  grep -q "two/p\.ekv: the output \./p\.tif is also the output of one/p\.ekv; it is not written twice" err.txt ||
    fail "the clash message: $(cat err.txt)"
  ! grep -q "already written" err.txt || fail "the clash message says the failed input's output was written"
  # A DNG write that fails gives the system's reason, as convert does.
  (ulimit -f 16 && exec "$ekv" dng a.ekv -o limited.dng) 2>err.txt
  rc=$?
  [ $rc -eq 8 ] && grep -q "cannot write limited\.dng: File too large" err.txt || fail "dng past the size limit: exit $rc ($(cat err.txt))"
  ;;

progress)
  # The progress bar on a 40-column terminal (script's pseudo-terminal) fits in 39
  # columns, and a SIGINT clears it. The workers pause before their final renames (a
  # FIFO the test holds open) while the bar is on screen.
  command -v script >/dev/null || { echo "skipped: no script"; exit 0; }
  small a.ekv && cp a.ekv b.ekv && cp a.ekv c.ekv
  mkfifo gate
  (script -qfec "stty cols 40; echo \$\$ >ekv.pid; EKV_TEST_PAUSE_BEFORE_RENAME=gate exec '$ekv' convert -j 2 a.ekv b.ekv c.ekv" \
    typescript >/dev/null; touch ended; : <>gate) &
  exec 3>gate  # returns once a worker waits at its final rename (or ekv has ended)
  until grep -q '%' typescript || [ -e ended ]; do :; done
  [ -e ended ] || kill -INT "$(cat ekv.pid)"
  exec 3>&-
  wait $!
  python3 - typescript <<'PY' || fail "the progress bar: $(cat -A typescript | head -c 600)"
import re, sys
text = open(sys.argv[1], 'rb').read().decode('utf-8', 'replace')
text = text[text.index('\n') + 1:text.rindex('Script done')]
lines = [part for part in re.split('[\r\n]', text) if part.strip()]
assert lines and all(len(line) <= 39 for line in lines), lines
assert re.search('%\r +\r\s*$', text), repr(text[-200:])
PY
  no_temp_files
  ;;

*)
  echo "unknown group $group" >&2
  exit 2
  ;;
esac

[ $failures -eq 0 ] || { echo "$failures failure(s) in $group" >&2; exit 1; }
echo "ok: $group"
