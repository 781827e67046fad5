#!/usr/bin/env bash
# Inputs read as one consistent file, and work bounded by the file's own bytes:
# - an input truncated, deleted, replaced or rewritten in place while convert or dng reads
#   it (paused after its first read through EKV_TEST_PAUSE, a FIFO) exits 5 with "changed
#   while it was being read", leaves no output and keeps an earlier file of that name;
# - crafted sizes (an image length the strips cannot hold, outputs lower than one band)
#   are refused alike by info, convert, dng and thumbnail.
#
#   input_consistency_test.sh GROUP EKV EKV_MAKE WORKDIR        GROUP: changing | sizes
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/cli_support.sh"

group=$1 ekv=$2 make=$3 work=$4
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
failures=0

EXPECT_TIMEOUT=20

case $group in
changing)
  "$make" sample -o orig.ekv --width 264 --height 400 >/dev/null || fail "ekv-make sample"
  "$make" sample -o other.ekv --width 264 --height 400 --bits 12 >/dev/null || fail "ekv-make other"
  mkfifo pause || fail "mkfifo"
  # changed_during EXPECTED CHANGE OUTPUT EKV-ARGS...: runs ekv on in.ekv, pauses it after
  # its first read, applies CHANGE, lets it go on, and checks the status and OUTPUT.
  changed_during() {
    local code=$1 change=$2 output=$3; shift 3
    cp orig.ekv in.ekv
    echo "earlier" >"$output"
    EKV_TEST_PAUSE=$PWD/pause EKV_TEST_PAUSE_INPUT=in.ekv timeout 20 "$ekv" "$@" >out.txt 2>err.txt &
    local pid=$!
    # Opening the FIFO returns once ekv waits in its pause; closing it lets ekv go on.
    timeout 20 bash -c 'exec 3>pause && eval "$1"' _ "$change" || fail "'$change': ekv never paused"
    wait $pid
    local rc=$?
    local what="'$change' during ekv $*"
    [ "$rc" -eq "$code" ] || fail "$what exited $rc, expected $code ($(cat err.txt))"
    if [ "$code" -eq 0 ]; then
      [ "$(wc -c <"$output")" -gt 100 ] || fail "$what: $output was not written"
    else
      grep -q "ekv: in.ekv: the file changed while it was being read" err.txt || fail "$what: message: $(cat err.txt)"
      [ "$(cat "$output")" = "earlier" ] || fail "$what: the earlier $output was lost"
    fi
    no_temp_files
  }
  # One file in this process, and two files in two worker processes.
  for run in "out.tif convert in.ekv -o out.tif" "out.dng dng in.ekv -o out.dng" \
    "in.tif convert -j 2 -d . in.ekv other.ekv" "in.dng dng -j 2 -d . in.ekv other.ekv"; do
    read -r output args <<<"$run"
    read -ra args <<<"$args"
    changed_during 0 "true" "$output" "${args[@]}"
    changed_during 5 "truncate -s 150000 in.ekv" "$output" "${args[@]}"
    changed_during 5 "truncate -s 0 in.ekv" "$output" "${args[@]}"
    changed_during 5 "rm in.ekv" "$output" "${args[@]}"
    changed_during 5 "cp other.ekv new.ekv && mv new.ekv in.ekv" "$output" "${args[@]}"
    # Rewritten in place with another file's bytes: same name, same inode, same size.
    changed_during 5 "dd if=other.ekv of=in.ekv conv=notrunc status=none" "$output" "${args[@]}"
    # Renamed away and back, its times set back: the name leads to the same file again.
    changed_during 5 "mv in.ekv away.ekv && mv away.ekv in.ekv && touch -r orig.ekv in.ekv" "$output" "${args[@]}"
  done
  # Standard output: nothing at all is written for a file that changed.
  for command in convert dng; do
    cp orig.ekv in.ekv
    EKV_TEST_PAUSE=$PWD/pause timeout 20 "$ekv" "$command" in.ekv -o - >stdout.bin 2>err.txt &
    pid=$!
    timeout 20 bash -c 'exec 3>pause && truncate -s 150000 in.ekv' || fail "ekv $command -o - never paused"
    wait $pid
    rc=$?
    [ "$rc" -eq 5 ] && [ ! -s stdout.bin ] || fail "$command -o -: exit $rc, $(wc -c <stdout.bin) bytes written"
  done
  ;;
sizes)
  "$make" flat -o small.ekv --width 64 --height 60 >/dev/null || fail "ekv-make small"
  # The image length (IFD0's ImageLength value, at 0x1e) set past what the strips hold.
  for length in 7fffffff 0000ffff 0000003d; do
    cp small.ekv long.ekv
    printf "\\x${length:6:2}\\x${length:4:2}\\x${length:2:2}\\x${length:0:2}" |
      dd of=long.ekv bs=1 seek=$((0x1e)) conv=notrunc status=none
    refusal="damaged file: the header's 64 x $((16#$length)) mosaic is more than its strips hold \\(60 rows\\)"
    expect 0 "" "$ekv" info --json long.ekv
    grep -q '"convertible": false' out.txt || fail "info calls length $length convertible"
    grep -Eq "\"reason\": \"$refusal\"" out.txt || fail "info's reason for length $length: $(cat out.txt)"
    expect 5 "ekv: long.ekv: $refusal" "$ekv" convert long.ekv -o long.tif
    expect 5 "ekv: long.ekv: $refusal" "$ekv" dng long.ekv -o long.dng
    expect 5 "ekv: long.ekv: $refusal" "$ekv" thumbnail long.ekv -o long.jpg
    [ ! -e long.tif ] && [ ! -e long.dng ] && [ ! -e long.jpg ] || fail "an output was written for length $length"
  done
  # Outputs lower than the one band the module always delivers: info says why, and
  # convert and dng refuse them the same way; one band high is converted.
  for size in "256 200 240x1" "256 200 240x25" "8 8 4x4" "256 200 240x26"; do
    read -r width height output <<<"$size"
    "$make" flat -o low.ekv --width "$width" --height "$height" --output "$output" >/dev/null || fail "ekv-make $size"
    "$ekv" info --json low.ekv >info.txt || fail "info $size"
    if [ "${output#*x}" -ge 26 ]; then
      grep -q '"convertible": true' info.txt || fail "info refuses $size: $(cat info.txt)"
      expect 0 "" "$ekv" convert low.ekv -o low.tif
      expect 0 "" "$ekv" dng low.ekv -o low.dng
    else
      grep -q '"convertible": false' info.txt || fail "info calls $size convertible"
      grep -q '"reason": "unsupported file: the output.s height ([0-9]*) is lower than the one band' info.txt ||
        fail "info's reason for $size: $(cat info.txt)"
      expect 5 "ekv: low.ekv: unsupported file: the output.s height" "$ekv" convert low.ekv -o low.tif
      expect 5 "ekv: low.ekv: unsupported file: the output.s height" "$ekv" dng low.ekv -o low.dng
    fi
    rm -f low.tif low.dng
  done
  ;;
*)
  echo "unknown group $group" >&2
  exit 2
  ;;
esac

[ "$failures" -eq 0 ] || { echo "$failures failure(s) in group $group" >&2; exit 1; }
echo "group $group: ok"
