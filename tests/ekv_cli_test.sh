#!/usr/bin/env bash
# End-to-end tests of the ekv command line: exit codes and messages, conversions read
# back with tiffinfo and a libpng/libtiff reader, the thumbnail and the preview.
#
#   ekv_cli_test.sh GROUP EKV IMAGECHECK EKV_MAKE SAMPLE WORKDIR
# GROUP: errors | convert | outputs | targets | interrupts | stream | thumbnail | preview |
#        metadata | scripts
set -uo pipefail

group=$1 ekv=$2 check=$3 make=$4 sample=$5 work=$6
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
failures=0

fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# expect CODE PATTERN COMMAND...: the command exits with CODE and its stderr matches PATTERN.
expect() {
  local code=$1 pattern=$2; shift 2
  "$@" >out.txt 2>err.txt
  local rc=$?
  [ "$rc" -eq "$code" ] || fail "'$*' exited $rc, expected $code ($(cat err.txt))"
  [ -z "$pattern" ] || grep -Eq -- "$pattern" err.txt || fail "'$*': stderr '$(cat err.txt)' does not match '$pattern'"
  [ "$code" -eq 0 ] || [ "$(wc -l <err.txt)" -ge 1 ] || fail "'$*': no message"
}

# image_is FILE "W H BITS CHANNELS"
image_is() {
  local got
  got=$("$check" info "$1") || { fail "cannot read back $1"; return; }
  [ "$got" = "$2" ] || fail "$1 is '$got', expected '$2'"
}

# tiff_is FILE W H BITS: tiffinfo agrees on size, depth, RGB and 72 dpi.
tiff_is() {
  local info
  info=$(tiffinfo "$1" 2>&1) || { fail "tiffinfo cannot read $1"; return; }
  grep -q "Image Width: $2 Image Length: $3" <<<"$info" || fail "$1: tiffinfo size: $info"
  grep -q "Bits/Sample: $4" <<<"$info" || fail "$1: tiffinfo depth: $info"
  grep -q "Samples/Pixel: 3" <<<"$info" || fail "$1: tiffinfo samples: $info"
  grep -q "Photometric Interpretation: RGB" <<<"$info" || fail "$1: tiffinfo photometric: $info"
  grep -q "Resolution: 72, 72 pixels/inch" <<<"$info" || fail "$1: tiffinfo resolution: $info"
}

# validates FILE [ALLOWED]: exiftool -validate -warning reports nothing for FILE but
# warnings matching the extended regular expression ALLOWED.
validates() {
  local left
  left=$(exiftool -validate -warning -a "$1" 2>&1 | grep -E '^(Warning|Error)' | grep -Ev -- "${2:-^$}")
  [ -z "$left" ] || fail "exiftool -validate $1: $left"
}

no_temp_files() {
  local left
  left=$(find "${1:-.}" -name '.*.tmp-*' | head -n 3)
  [ -z "$left" ] || fail "temporary files left behind: $left"
}

# The mosaic of a small camera: 264 x 200 sensor, output 248 x 196 (bands of 30 rows).
small() { "$make" sample -o "$1" --width 264 --height 200 "${@:2}" >/dev/null || fail "ekv-make $*"; }

case $group in
errors)
  small good.ekv
  expect 3 "ekv: missing\.ekv: no such file" "$ekv" convert missing.ekv
  expect 3 "is a directory" "$ekv" convert .
  printf 'II*\0 this is a TIFF-looking text file, not a raw file\n' >text.ekv
  expect 4 "ekv: text\.ekv: not an EKV file" "$ekv" convert text.ekv -o text.tif
  [ ! -e text.tif ] || fail "an output was written for a non-EKV file"
  expect 4 "text\.ekv: not an EKV file" "$ekv" info text.ekv

  # Damaged: the maker note names an output wider than the sensor.
  python3 - good.ekv wide.ekv <<'PY' || fail "could not patch the output width"
import struct, sys
data = bytearray(open(sys.argv[1], 'rb').read())
at = data.find(b'\x2e\x10\x04\x00\x01\x00\x00\x00')
assert at > 0
struct.pack_into('<I', data, at + 8, 60000)
open(sys.argv[2], 'wb').write(data)
PY
  expect 5 "ekv: wide\.ekv: damaged file" "$ekv" convert wide.ekv -o wide.tif
  [ ! -e wide.tif ] || fail "an output was written for a damaged file"
  # Damaged: the file ends inside its sensor data.
  head -c 20000 good.ekv >cut.ekv
  expect 5 "ekv: cut\.ekv: damaged file: [0-9]+ bytes of sensor data are missing" "$ekv" convert cut.ekv -o cut.tif
  [ ! -e cut.tif ] || fail "an output was written for a truncated file"

  # Unwritable outputs: a directory that does not exist, a parent that is a file.
  expect 8 "ekv: good\.ekv: cannot write nowhere/x\.tif" "$ekv" convert good.ekv -o nowhere/x.tif
  expect 8 "ekv: good\.ekv: cannot write" "$ekv" convert good.ekv -d good.ekv
  expect 8 "cannot write" "$ekv" thumbnail good.ekv -o nowhere/t.jpg
  mkdir -p sub && expect 8 "is a directory" "$ekv" convert good.ekv -o sub
  no_temp_files

  # The output names the input (also through a link): refused, input untouched.
  sum=$(sha256sum good.ekv | cut -d' ' -f1)
  expect 8 "is the input file; it is not overwritten" "$ekv" convert good.ekv --format tiff -o good.ekv
  ln -sf good.ekv link.tif
  expect 8 "is the input file" "$ekv" convert good.ekv -o link.tif
  # One input's output name is another input: refused, the other input converted.
  cp good.ekv clash.ekv && cp good.ekv clash.tif
  csum=$(sha256sum clash.tif | cut -d' ' -f1)
  expect 8 "clash\.ekv: the output \./clash\.tif is an input file" "$ekv" convert clash.ekv clash.tif -d .
  [ "$(sha256sum clash.tif | cut -d' ' -f1)" = "$csum" ] || fail "an input named like an output was changed"
  ln -sf good.ekv link.jpg && ln -sf good.ekv link.png
  expect 8 "is the input file" "$ekv" thumbnail good.ekv -o link.jpg
  expect 8 "is the input file" "$ekv" preview good.ekv -o link.png
  [ "$(sha256sum good.ekv | cut -d' ' -f1)" = "$sum" ] || fail "the input was changed"
  [ -L link.tif ] || fail "the link to the input was replaced"
  # Two inputs of the same name into one directory: the second is refused.
  mkdir -p a b out && cp good.ekv a/x.ekv && cp good.ekv b/x.ekv
  expect 8 "b/x\.ekv: the output out/x\.tif is also the output of a/x\.ekv" "$ekv" convert a/x.ekv b/x.ekv -d out
  [ -f out/x.tif ] || fail "the first of two same-named inputs was not converted"

  # Command-line mistakes.
  expect 2 "no input file" "$ekv" convert
  expect 2 "-o names one output" "$ekv" convert good.ekv clash.ekv -o x.tif
  expect 2 "method must be 0, 1 or 2" "$ekv" convert good.ekv -m 3
  expect 2 "wb-point needs method 1 or 2" "$ekv" convert good.ekv -m 0 --wb-point 10,10
  expect 2 "wb-point takes H,V" "$ekv" convert good.ekv -m 1 --wb-point 320,0
  expect 2 "unknown option" "$ekv" convert good.ekv --fast
  expect 2 "format must be tiff or png" "$ekv" convert good.ekv --format jpeg
  expect 2 "-o needs a value" "$ekv" convert good.ekv -o
  expect 2 "unknown command" "$ekv" develop good.ekv
  # Every failure above is one line.
  "$ekv" convert missing.ekv 2>err.txt; [ "$(wc -l <err.txt)" -eq 1 ] || fail "more than one line: $(cat err.txt)"
  for command in convert info thumbnail preview about; do
    "$ekv" "$command" --help >help.txt 2>&1 || fail "ekv $command --help failed"
    grep -q "Usage: ekv $command" help.txt || fail "ekv $command --help has no usage line"
    grep -q "Exit status" help.txt || fail "ekv $command --help does not list the exit codes"
  done
  "$ekv" about >about.txt || fail "ekv about failed"
  grep -q "Karvex RAW File Import Plug-in" about.txt || fail "about text: $(cat about.txt)"
  ;;

convert)
  small s.ekv
  # Methods 0, 1, 2; 1 and 2 with and without a white-balance point; 16-bit TIFF.
  for m in 0 1 2; do
    expect 0 "" "$ekv" convert s.ekv -m "$m" -o "m$m.tif"
    tiff_is "m$m.tif" 248 182 16 && image_is "m$m.tif" "248 182 16 3"
    [ "$m" = 0 ] && continue
    expect 0 "" "$ekv" convert s.ekv -m "$m" --wb-point 60,180 -o "m${m}p.tif"
    tiff_is "m${m}p.tif" 248 182 16
    cmp -s "m$m.tif" "m${m}p.tif" && fail "method $m: the white-balance point changed nothing"
  done
  cmp -s m0.tif m1.tif && fail "methods 0 and 1 gave the same image"
  cmp -s m1.tif m2.tif && fail "methods 1 and 2 gave the same image"
  read -r lo hi mean < <("$check" stats m2.tif)
  [ "$hi" -gt 32768 ] || fail "method 2: the brightest sample is only $hi of 65535"
  # The image ends at the last row the module delivers (whole bands), as info predicts;
  # --full-document keeps the module's document: the same rows, then black ones. Sensor
  # widths for each band height (30, 16, 10 and 6 rows), with and without rows left out.
  for size in 264x200 1040x66 2016x40 3016x30; do
    small "z$size.ekv" --width "${size%x*}" --height "${size#*x}"
    doc=$("$ekv" info "z$size.ekv" | awk '/^document_height:/ {print $2}')
    rows=$("$ekv" info "z$size.ekv" | awk '/^image_height:/ {print $2}')
    expect 0 "" "$ekv" convert "z$size.ekv" -o "z$size.tif"
    width=$("$check" info "z$size.tif" | cut -d' ' -f1)
    image_is "z$size.tif" "$width $rows 16 3"
    [ "$("$check" pixel "z$size.tif" 5 $((rows - 1)))" != "0 0 0" ] || fail "$size: the last row is black"
    if [ "$rows" -lt "$doc" ]; then
      grep -q "of $doc; the image ends there, $((doc - rows)) rows left out" err.txt || fail "$size: note $(cat err.txt)"
    else
      grep -q . err.txt && fail "$size: a whole-band conversion printed: $(cat err.txt)"
    fi
    expect 0 "" "$ekv" convert "z$size.ekv" --full-document -o "z$size-full.tif"
    image_is "z$size-full.tif" "$width $doc 16 3"
    [ "$("$check" top "z$size.tif" "z$size-full.tif")" = "0 0" ] || fail "$size: --full-document differs"
    [ "$rows" -lt "$doc" ] || cmp -s "z$size.tif" "z$size-full.tif" || fail "$size: whole bands changed"
  done
  [ "$("$ekv" info z264x200.ekv | awk '/^image_height:/ {print $2}')" = 182 ] || fail "info: image_height"
  # 8 bits: reduced from the 16-bit document by the host, in TIFF and PNG.
  expect 0 "" "$ekv" convert s.ekv -m 2 --8bit -o m2-8.tif
  tiff_is m2-8.tif 248 182 8
  [ "$("$check" reduce m2.tif m2-8.tif)" = 0 ] || fail "--8bit is not the rounded 16-bit image"
  expect 0 "" "$ekv" convert s.ekv -m 1 --wb-point 0,0 --format png -o m1p.png
  image_is m1p.png "248 182 16 3"
  expect 0 "" "$ekv" convert s.ekv -m 2 --8bit -o m2-8.png
  image_is m2-8.png "248 182 8 3"
  [ "$("$check" diff m2-8.tif m2-8.png | wc -l)" = 0 ] || fail "the 8-bit TIFF and PNG differ"
  expect 0 "" "$ekv" convert s.ekv -m 2 -o m2.png
  [ "$("$check" diff m2.tif m2.png | wc -l)" = 0 ] || fail "the 16-bit TIFF and PNG differ"
  # A file with 8 valid bits makes an 8-bit document.
  small b8.ekv --bits 8
  expect 0 "" "$ekv" convert b8.ekv -m 2 -o b8.tif
  tiff_is b8.tif 248 182 8
  read -r lo hi mean < <("$check" stats b8.tif)
  [ "$hi" -gt 128 ] || fail "8-bit document: the brightest sample is only $hi"
  # The module's band threads change nothing in the image; a batch shares them out.
  for t in 1 2 5; do
    expect 0 "" "$ekv" convert s.ekv -m 2 --threads "$t" -o "m2-t$t.tif"
    cmp -s m2.tif "m2-t$t.tif" || fail "--threads $t gave another image"
  done
  expect 0 "" "$ekv" convert s.ekv b8.ekv -m 2 -j 2 --threads 3 -d . --format png
  expect 2 "--threads takes a number of threads" "$ekv" convert s.ekv --threads 0
  expect 2 "--threads takes a number of threads" "$ekv" convert s.ekv --threads many
  no_temp_files
  ;;

outputs)
  small one.ekv
  small two.ekv --wb-red 2.0
  mkdir -p next dir
  cp one.ekv next/one.ekv
  expect 0 "" "$ekv" convert next/one.ekv -m 2
  tiff_is next/one.tif 248 182 16
  # Several files in one call (one module, its data word kept) give what separate
  # calls give.
  expect 0 "" "$ekv" convert one.ekv two.ekv -m 2 -d dir
  expect 0 "" "$ekv" convert two.ekv -m 2 -o two-alone.tif
  cmp -s dir/two.tif two-alone.tif || fail "the second import of a call differs from a lone import"
  cmp -s dir/one.tif next/one.tif || fail "the first import of a call differs from a lone import"
  cmp -s dir/one.tif dir/two.tif && fail "different white balance gave the same image"
  expect 0 "" "$ekv" convert one.ekv two.ekv -m 1 --format png -d dir
  image_is dir/one.png "248 182 16 3" && image_is dir/two.png "248 182 16 3"
  # A failure in the middle of a call: reported, the other files still converted.
  rm -f dir/*.tif
  expect 3 "missing\.ekv: no such file" "$ekv" convert one.ekv missing.ekv two.ekv -d dir
  [ -f dir/one.tif ] && [ -f dir/two.tif ] || fail "a failure stopped the other conversions"
  # Replacing an earlier output is atomic: a failed write leaves the old file.
  before=$(sha256sum dir/one.tif | cut -d' ' -f1)
  # (the straightforward stages' planes need more than the 1 MB granted)
  expect 7 "one\.ekv: out of memory" "$ekv" convert one.ekv -m 2 -d dir --max-memory 1 --reference
  [ "$(sha256sum dir/one.tif | cut -d' ' -f1)" = "$before" ] || fail "a failed conversion changed the old output"
  # Flushing: a file that replaces another is flushed before the rename, a new file and
  # standard output are not; --sync flushes every output and the directory after the
  # rename; --no-sync flushes nothing.
  if strace -f -qq -e trace=fsync -o /dev/null true 2>/dev/null; then
    flushes() {
      strace -f -qq -e trace=fsync,fdatasync,sync_file_range,syncfs -o trace.txt "$@" >/dev/null 2>&1 ||
        fail "$* failed under strace"
      grep -cE '(fsync|fdatasync|sync_file_range|syncfs)\(' trace.txt
    }
    rm -f flush.tif
    [ "$(flushes "$ekv" convert one.ekv -o flush.tif)" = 0 ] || fail "a new file was flushed"
    [ "$(flushes "$ekv" convert one.ekv -o flush.tif)" = 1 ] || fail "a replaced file was not flushed once"
    [ "$(flushes "$ekv" convert one.ekv -o flush.tif --no-sync)" = 0 ] || fail "--no-sync flushed a file"
    [ "$(flushes "$ekv" convert one.ekv -o -)" = 0 ] || fail "standard output was flushed"
    rm -f flush.tif
    [ "$(flushes "$ekv" convert one.ekv -o flush.tif --sync)" = 2 ] || fail "--sync: not the file and its directory"
    [ "$(flushes "$ekv" dng one.ekv -o flush.dng)" = 0 ] || fail "a new DNG was flushed"
    [ "$(flushes "$ekv" dng one.ekv -o flush.dng)" = 1 ] || fail "a replaced DNG was not flushed once"
  else
    echo "note: strace cannot run here; the flush policy is not tested" >&2
  fi
  # The bundled sample at its full size.
  expect 0 "" "$ekv" convert "$sample" -m 2 -o sample.tif
  tiff_is sample.tif 2240 1680 16
  grep -q . err.txt && fail "a whole-band sample conversion printed: $(cat err.txt)"
  no_temp_files; no_temp_files dir
  ;;

stream)
  small s.ekv
  expect 0 "" "$ekv" convert s.ekv -m 2 -o plain.tif
  # Compressed TIFF (with the horizontal predictor) and PNG at any level: the same samples.
  for c in deflate zstd lzw none; do
    expect 0 "" "$ekv" convert s.ekv -m 2 --compress "$c" -o "c-$c.tif"
    tiff_is "c-$c.tif" 248 182 16
    [ "$("$check" diff plain.tif "c-$c.tif" | wc -l)" = 0 ] || fail "--compress $c changed the image"
  done
  tiffinfo c-zstd.tif | grep -q "Predictor: horizontal" || fail "zstd without the horizontal predictor"
  tiffinfo c-deflate.tif | grep -q "AdobeDeflate" || fail "deflate: $(tiffinfo c-deflate.tif)"
  [ "$(stat -c %s c-deflate.tif)" -lt "$(stat -c %s plain.tif)" ] || fail "deflate did not make the file smaller"
  cmp -s plain.tif c-none.tif || fail "--compress none differs from the default"
  for level in 0 9; do
    expect 0 "" "$ekv" convert s.ekv -m 2 --png-level "$level" -o "l$level.png"
    [ "$("$check" diff plain.tif "l$level.png" | wc -l)" = 0 ] || fail "--png-level $level changed the image"
  done
  expect 0 "" "$ekv" convert s.ekv -m 2 -o fast.png
  [ "$("$check" diff plain.tif fast.png | wc -l)" = 0 ] || fail "the default PNG changed the image"
  [ "$(stat -c %s l9.png)" -le "$(stat -c %s fast.png)" ] || fail "level 9 is larger than the default"
  [ "$(stat -c %s fast.png)" -lt "$(stat -c %s l0.png)" ] || fail "the default PNG is not compressed"
  expect 0 "" "$ekv" convert s.ekv -m 2 --8bit --compress lzw -o c8.tif
  [ "$("$check" reduce plain.tif c8.tif)" = 0 ] || fail "--8bit with LZW is not the rounded 16-bit image"
  expect 2 "--compress takes none, deflate, zstd or lzw" "$ekv" convert s.ekv --compress jpeg
  expect 2 "--compress applies to TIFF" "$ekv" convert s.ekv --compress zstd -o x.png
  expect 2 "--png-level takes a zlib level" "$ekv" convert s.ekv --png-level 10 -o x.png
  expect 2 "--png-level applies to PNG" "$ekv" convert s.ekv --png-level 3
  expect 2 "-j takes a number" "$ekv" convert s.ekv -j 0

  # A write that fails part-way (the file-size limit, as a full disk): a clear message,
  # status 8, no output and no temporary file.
  for out in big.tif big.png; do
    expect 8 "s\.ekv: cannot write $out: .*File too large" prlimit --fsize=60000 "$ekv" convert s.ekv -o "$out"
    [ ! -e "$out" ] || fail "a failed write left $out"
  done

  # Batches: several files at once, a failure in the middle. The others complete, the
  # failing ones leave nothing, the messages and the exit status (of the first failing
  # file in order) are those of one file after another.
  small t.ekv --wb-red 2.0 && small u.ekv --bits 12 && small v.ekv --pattern GBRG
  printf 'not a raw file\n' >bad.ekv
  head -c 20000 s.ekv >cut.ekv
  set -- s.ekv bad.ekv t.ekv missing.ekv u.ekv cut.ekv v.ekv
  for j in 1 2 4; do
    mkdir -p "j$j"
    expect 4 "" "$ekv" convert "$@" -m 2 -d "j$j" -j "$j"
    mv err.txt "err-j$j.txt"
    for f in s t u v; do [ -f "j$j/$f.tif" ] || fail "-j $j: $f.tif was not written"; done
    for f in bad missing cut; do [ ! -e "j$j/$f.tif" ] || fail "-j $j: the failing $f.ekv left an output"; done
    no_temp_files "j$j"
  done
  for j in 2 4; do
    cmp -s err-j1.txt "err-j$j.txt" || fail "-j $j printed $(cat "err-j$j.txt"), not $(cat err-j1.txt)"
    for f in s t u v; do cmp -s "j1/$f.tif" "j$j/$f.tif" || fail "-j $j: $f.tif differs from -j 1"; done
  done
  grep -q "bad\.ekv: not an EKV file" err-j1.txt && grep -q "missing\.ekv: no such file" err-j1.txt &&
    grep -q "cut\.ekv: damaged file" err-j1.txt || fail "batch messages: $(cat err-j1.txt)"
  # The default -j converts as many files at once as there are processors, with the same
  # result; a file's output in a batch is that of a lone conversion.
  mkdir -p jd && expect 3 "" "$ekv" convert s.ekv missing.ekv t.ekv -m 2 -d jd
  expect 0 "" "$ekv" convert t.ekv -m 2 -o t-alone.tif
  cmp -s jd/t.tif t-alone.tif || fail "a batch output differs from a lone conversion"
  # Refusals stay: the same output name twice, an output that is an input.
  mkdir -p a b same && cp s.ekv a/x.ekv && cp t.ekv b/x.ekv
  expect 8 "b/x\.ekv: the output same/x\.tif is also the output of a/x\.ekv" "$ekv" convert a/x.ekv b/x.ekv -d same -j 2
  [ -f same/x.tif ] || fail "-j 2: the first of two same-named inputs was not converted"
  no_temp_files
  ;;

thumbnail)
  small t.ekv
  expect 0 "" "$ekv" thumbnail t.ekv -o t.jpg
  # The embedded JPEG, found independently through the thumbnail IFD (IFD1, tags
  # 0x0201 offset and 0x0202 length).
  python3 - t.ekv embedded.jpg <<'PY' || fail "could not locate the embedded JPEG"
import struct, sys
d = open(sys.argv[1], 'rb').read()
e = '<' if d[:2] == b'II' else '>'
ifd0 = struct.unpack_from(e + 'I', d, 4)[0]
n = struct.unpack_from(e + 'H', d, ifd0)[0]
ifd1 = struct.unpack_from(e + 'I', d, ifd0 + 2 + 12 * n)[0]
tags = {}
for i in range(struct.unpack_from(e + 'H', d, ifd1)[0]):
    tag, typ, cnt, val = struct.unpack_from(e + 'HHII', d, ifd1 + 2 + 12 * i)
    tags[tag] = val
open(sys.argv[2], 'wb').write(d[tags[0x201]:tags[0x201] + tags[0x202]])
PY
  cmp t.jpg embedded.jpg || fail "ekv thumbnail differs from the embedded JPEG"
  [ "$(head -c 2 t.jpg | od -An -tx1 | tr -d ' ')" = ffd8 ] || fail "the thumbnail is not a JPEG stream"
  "$ekv" info t.ekv --json >info.json || fail "ekv info --json failed"
  python3 - info.json "$(stat -c %s t.jpg)" <<'PY' || fail "ekv info --json: $(cat info.json)"
import json, sys
i = json.load(open(sys.argv[1]))
assert i['thumbnail_bytes'] == int(sys.argv[2]), i['thumbnail_bytes']
assert (i['thumbnail_width'], i['thumbnail_height']) == (320, 240)
assert (i['image_width'], i['image_length']) == (264, 200)
assert (i['document_width'], i['document_height'], i['document_depth']) == (248, 196, 16)
assert (i['band_height'], i['rows_per_band'], i['delivered_rows'], i['bands']) == (30, 26, 182, 7)
assert i['image_height'] == 182
assert i['strip_count'] == 2 and len(i['strip_offsets']) == 2 and len(i['strip_byte_count']) == 2
assert len(i['color_matrix']) == 9 and len(i['chromasupless']) == 6
assert i['valid_bits_per_pixel'] == [10, 0] and i['cfa_pattern_value'] == [0, 1, 1, 2]
assert i['convertible'] is True
PY
  "$ekv" info "$sample" >info.txt || fail "ekv info on the sample failed"
  grep -Eq "^band_height: +10$" info.txt || fail "sample band height: $(cat info.txt)"
  # -s: a PNG within the square, aspect kept, never enlarged; at its own size it is
  # the decoded JPEG (the preview of a 320 x 240 thumbnail without a marker).
  expect 0 "" "$ekv" thumbnail -s 128 t.ekv -o s128.png
  image_is s128.png "128 96 8 3"
  expect 0 "" "$ekv" thumbnail t.ekv --size 1000 -o s1000.png
  image_is s1000.png "320 240 8 3"
  expect 0 "" "$ekv" preview t.ekv -o full.png
  [ -z "$("$check" diff full.png s1000.png | head -n 1)" ] || fail "-s larger than the thumbnail changed its pixels"
  # An exact 4 x 4 reduction keeps the mean (area averaging, not point sampling).
  expect 0 "" "$ekv" thumbnail -s 80 t.ekv -o s80.png
  image_is s80.png "80 60 8 3"
  python3 - "$("$check" stats full.png)" "$("$check" stats s80.png)" <<'PY' || fail "-s 80 mean: $("$check" stats s80.png)"
import sys
assert abs(float(sys.argv[1].split()[2]) - float(sys.argv[2].split()[2])) < 0.5
PY
  small tall.ekv --thumbnail 120x400
  expect 0 "" "$ekv" thumbnail -s 100 -o tall.png tall.ekv
  image_is tall.png "30 100 8 3"
  expect 2 "-s takes a size in pixels from 1 to 32767, not '0'" "$ekv" thumbnail -s 0 t.ekv -o z.png
  expect 2 "names a jpeg file; ekv thumbnail writes \.png" "$ekv" thumbnail -s 64 t.ekv -o z.jpg
  [ ! -e z.png ] && [ ! -e z.jpg ] || fail "a refused thumbnail was written"
  small none.ekv --no-thumbnail
  expect 10 "none\.ekv: the file carries no thumbnail" "$ekv" thumbnail none.ekv -o none.jpg
  [ ! -e none.jpg ] || fail "a thumbnail was written for a file without one"
  expect 10 "none\.ekv: the file carries no thumbnail" "$ekv" thumbnail -s 64 none.ekv -o none.png
  no_temp_files
  ;;

preview)
  small p.ekv
  expect 0 "" "$ekv" preview p.ekv -o plain.png
  image_is plain.png "320 240 8 3"
  expect 0 "" "$ekv" preview p.ekv -o marked.png --wb-point 100,50
  image_is marked.png "320 240 8 3"
  expected=$'99 49 inverted\n100 49 inverted\n99 50 inverted\n100 50 inverted'
  [ "$("$check" diff plain.png marked.png)" = "$expected" ] ||
    fail "marker at 100,50: $("$check" diff plain.png marked.png | head)"
  expect 0 "" "$ekv" preview p.ekv -o corner.png --wb-point 0,0
  [ "$("$check" diff plain.png corner.png)" = "0 0 inverted" ] || fail "marker at 0,0 is not the one pixel (0,0)"
  expect 0 "" "$ekv" preview p.ekv -o last.png --wb-point 319,239
  [ "$("$check" diff plain.png last.png | wc -l)" = 4 ] || fail "marker at 319,239 is not 4 pixels"
  # Thumbnails of other sizes fill the whole preview.
  for size in 160x120 640x480 200x200; do
    small "t$size.ekv" --thumbnail "$size"
    expect 0 "" "$ekv" preview "t$size.ekv" -o "t$size.png"
    image_is "t$size.png" "320 240 8 3"
  done
  # The scaled thumbnail is the thumbnail: at its own size the preview is the decoded JPEG.
  read -r lo hi mean < <("$check" stats plain.png)
  [ "$hi" -gt "$lo" ] || fail "the preview is flat"
  small none.ekv --no-thumbnail
  expect 0 "" "$ekv" preview none.ekv -o none.png
  [ "$("$check" stats none.png)" = "240 240 240.0" ] || fail "no thumbnail: not the dialog background"
  expect 2 "wb-point takes H,V" "$ekv" preview p.ekv -o x.png --wb-point 5
  no_temp_files
  ;;
targets)
  small t.ekv
  expect 0 "" "$ekv" convert t.ekv -m 2 -o ref.tif
  expect 0 "" "$ekv" convert t.ekv -m 2 -o ref.png
  expect 0 "" "$ekv" thumbnail t.ekv -o ref.jpg
  expect 0 "" "$ekv" preview t.ekv -o ref-preview.png
  # Standard output, into a file and into a pipe: the same bytes as a named output.
  "$ekv" convert t.ekv -m 2 -o - >std.tif 2>err.txt || fail "convert -o - to a file: $(cat err.txt)"
  cmp -s std.tif ref.tif || fail "the TIFF on standard output differs from the file"
  "$ekv" convert t.ekv -m 2 --format png -o - 2>err.txt | cat >std.png || fail "convert -o - to a pipe: $(cat err.txt)"
  cmp -s std.png ref.png || fail "the PNG on standard output differs from the file"
  "$ekv" thumbnail t.ekv -o - | cmp -s - ref.jpg || fail "thumbnail -o - differs"
  "$ekv" preview t.ekv -o - | cmp -s - ref-preview.png || fail "preview -o - differs"
  "$ekv" convert t.ekv -m 2 -o /dev/stdout | cmp -s - ref.tif || fail "-o /dev/stdout differs"
  [ ! -e ./- ] || fail "a file named '-' was written"
  # A FIFO gets the image, its reader ends, and the FIFO stays.
  mkfifo fifo
  cat fifo >from-fifo & reader=$!
  expect 0 "" "$ekv" convert t.ekv -m 2 -o fifo
  wait "$reader"
  [ -p fifo ] || fail "the FIFO was replaced"
  cmp -s from-fifo ref.tif || fail "the FIFO's reader got other bytes"
  # A listening Unix-domain socket gets the image through a connection.
  python3 - sock from-sock <<'PY2' & server=$!
import socket, sys
s = socket.socket(socket.AF_UNIX)
s.bind(sys.argv[1] + '.tmp'); s.listen(1)
import os; os.rename(sys.argv[1] + '.tmp', sys.argv[1])
c, _ = s.accept()
with open(sys.argv[2], 'wb') as f:
    while True:
        b = c.recv(65536)
        if not b: break
        f.write(b)
PY2
  for _ in $(seq 500); do [ -S sock ] && break; sleep 0.01; done
  expect 0 "" "$ekv" convert t.ekv -m 2 -o sock
  wait "$server"
  [ -S sock ] || fail "the socket was replaced"
  cmp -s from-sock ref.tif || fail "the socket's reader got other bytes"
  # A symbolic link is followed: the file it points to is replaced in its own directory
  # with its permission bits, and the link stays. A dangling link is not written through.
  mkdir -p real && cp ref.png real/old.tif && chmod 0640 real/old.tif
  ln -s real/old.tif link.tif && ln -s link.tif link2.tif && ln -s real/new.tif dangling.tif
  expect 0 "" "$ekv" convert t.ekv -m 2 -o link2.tif
  [ -L link.tif ] && [ -L link2.tif ] || fail "a link was replaced"
  cmp -s real/old.tif ref.tif || fail "the link's target does not hold the new image"
  [ "$(stat -c %a real/old.tif)" = 640 ] || fail "the link's target lost its mode: $(stat -c %a real/old.tif)"
  expect 8 "not writing through dangling symlink" "$ekv" convert t.ekv -m 2 -o dangling.tif
  [ -L dangling.tif ] && [ ! -e real/new.tif ] || fail "a dangling link created its target"
  no_temp_files
  # A replaced file keeps its permission bits, whatever the umask.
  cp ref.png mode.tif && chmod 0664 mode.tif
  (umask 077 && "$ekv" convert t.ekv -m 2 -o mode.tif) || fail "convert onto mode.tif"
  [ "$(stat -c %a mode.tif)" = 664 ] || fail "a replaced file's mode became $(stat -c %a mode.tif)"
  # Empty paths.
  expect 2 "-o needs a file name" "$ekv" convert t.ekv -o ''
  expect 2 "-d needs a directory" "$ekv" convert t.ekv -d ''
  expect 2 "-o needs a file name" "$ekv" thumbnail t.ekv -o ''
  expect 2 "-o needs a file name" "$ekv" preview t.ekv --output=''
  # The format follows the extension; contradictions and unknown extensions are refused.
  expect 2 "x\.jpg names a jpeg file; ekv convert writes \.tif, \.tiff, \.png" "$ekv" convert t.ekv -o x.jpg
  expect 2 "extension \.bmp names no format .*choose one with --format" "$ekv" convert t.ekv -o x.bmp
  expect 2 "names a png file, but --format is tiff" "$ekv" convert t.ekv --format tiff -o y.PNG
  expect 2 "names a tiff file, but --format is png" "$ekv" convert t.ekv --format png -o y.tif
  expect 2 "names a png file; ekv thumbnail writes \.jpg" "$ekv" thumbnail t.ekv -o t.png
  expect 2 "names a tiff file; ekv preview writes \.png" "$ekv" preview t.ekv -o p.tiff
  ls x.jpg x.bmp y.* t.png p.tiff 2>/dev/null && fail "a refused output was written"
  expect 0 "" "$ekv" convert t.ekv -m 2 -o upper.TIFF && cmp -s upper.TIFF ref.tif || fail ".TIFF is not TIFF"
  expect 0 "" "$ekv" convert t.ekv -m 2 -o z.png && cmp -s z.png ref.png || fail ".png is not PNG"
  expect 0 "" "$ekv" convert t.ekv -m 2 --format png -o z.data && cmp -s z.data ref.png || fail "--format png"
  expect 0 "" "$ekv" convert t.ekv -m 2 -o plain && cmp -s plain ref.tif || fail "no extension is not TIFF"
  # --no-clobber keeps existing files with a note and writes the others.
  mkdir -p keep && cp ref.png keep/t.tif && cp t.ekv u.ekv
  expect 0 "note: keep/t\.tif exists; skipped \(--no-clobber\)" "$ekv" convert t.ekv u.ekv -m 2 -d keep --no-clobber
  cmp -s keep/t.tif ref.png || fail "--no-clobber replaced an existing output"
  cmp -s keep/u.tif ref.tif || fail "--no-clobber did not write a new output"
  expect 0 "skipped" "$ekv" thumbnail t.ekv -o ref.jpg --no-clobber
  expect 0 "" "$ekv" convert t.ekv -m 2 -o - --no-clobber
  cmp -s out.txt ref.tif || fail "--no-clobber kept standard output from being written"
  if [ "$(id -u)" -ne 0 ]; then
    echo "note: not root; devices, a full disk and the unprivileged cases are not tested" >&2
  else
    # Private devices: a null device is written and stays; a full one fails with its reason.
    mknod null c 1 3 && mknod full c 1 7 && ln -s null null-link
    expect 0 "" "$ekv" convert t.ekv -m 2 -o null
    expect 0 "" "$ekv" convert t.ekv -m 2 -o null-link --no-clobber
    grep -q skipped err.txt && fail "--no-clobber skipped a device"
    [ -c null ] && [ -L null-link ] || fail "the device or its link was replaced"
    expect 8 "cannot write full: No space left on device" "$ekv" convert t.ekv -m 2 -o full
    for command in convert thumbnail; do
      "$ekv" "$command" t.ekv -o - >full 2>err.txt; rc=$?
      [ $rc -eq 8 ] && grep -q "cannot write -: No space left on device" err.txt ||
        fail "$command to a full standard output: $rc $(cat err.txt)"
    done
    # As an unprivileged user: a file the user may not write is refused even where the
    # directory would allow a rename, and a replaced file keeps its mode.
    mkdir -p nobody && chown nobody nobody && cp t.ekv nobody/ && chmod 0755 . nobody
    cp ref.png nobody/ro.tif && chmod 0444 nobody/ro.tif && chown nobody nobody/ro.tif
    cp ref.png nobody/root.tif && chmod 0644 nobody/root.tif
    cp ref.png nobody/rw.tif && chmod 0664 nobody/rw.tif && chown nobody nobody/rw.tif
    as_nobody() { setpriv --reuid=nobody --regid=nogroup --clear-groups -- "$@"; }
    if ! as_nobody test -x "$ekv"; then
      echo "note: nobody cannot run $ekv; the unprivileged cases are not tested" >&2
    else
      for f in ro root; do
        expect 8 "cannot write nobody/$f\.tif: Permission denied" \
          as_nobody "$ekv" convert nobody/t.ekv -m 2 -o "nobody/$f.tif"
        cmp -s "nobody/$f.tif" ref.png || fail "an unwritable nobody/$f.tif was changed"
      done
      expect 0 "skipped" as_nobody "$ekv" convert nobody/t.ekv -m 2 -o nobody/ro.tif --no-clobber
      expect 0 "" as_nobody "$ekv" convert nobody/t.ekv -m 2 -o nobody/rw.tif
      cmp -s nobody/rw.tif ref.tif && [ "$(stat -c %a:%U nobody/rw.tif)" = 664:nobody ] ||
        fail "nobody's writable file: $(stat -c %a:%U nobody/rw.tif)"
      # Root may replace a read-only file, which keeps its mode and owner.
      expect 0 "" "$ekv" convert t.ekv -m 2 -o nobody/ro.tif
      cmp -s nobody/ro.tif ref.tif && [ "$(stat -c %a:%U nobody/ro.tif)" = 444:nobody ] ||
        fail "root's replacement of a read-only file: $(stat -c %a:%U nobody/ro.tif)"
    fi
  fi
  no_temp_files
  ;;

interrupts)
  # A batch long enough to interrupt: full-size files, each written in turn.
  mkdir -p in
  for n in 1 2 3 4 5 6; do cp "$sample" "in/big$n.ekv"; done
  expect 0 "" "$ekv" convert in/big1.ekv -m 2 -o ref.tif
  for sig in INT TERM HUP; do
    rm -rf out && mkdir out
    "$ekv" convert in/big*.ekv -m 2 -d out 2>"err-$sig.txt" & pid=$!
    # Once the first output is finished and another is being written, the process is
    # stopped, checked to be still writing, and sent the signal.
    sent=0
    while kill -0 "$pid" 2>/dev/null; do
      if [ -e out/big1.tif ] && compgen -G 'out/.*.tmp-*' >/dev/null; then
        kill -STOP "$pid"
        if compgen -G 'out/.*.tmp-*' >/dev/null; then
          kill -"$sig" "$pid"; kill -CONT "$pid"; sent=1; break
        fi
        kill -CONT "$pid"
      fi
      sleep 0.005
    done
    wait "$pid"; rc=$?
    [ $sent = 1 ] || { fail "SIG$sig: the batch ended before a temporary file was seen"; continue; }
    want=$((128 + $(kill -l "$sig")))
    [ $rc -eq $want ] || fail "SIG$sig: exit status $rc, expected $want"
    no_temp_files out
    cmp -s out/big1.tif ref.tif || fail "SIG$sig: a finished output was lost or changed"
    [ -e out/big6.tif ] && fail "SIG$sig: the batch went on after the signal"
  done
  # A file size limit: the write fails with the system's reason (SIGXFSZ is ignored by
  # ekv itself), the temporary file is removed and the earlier output kept.
  small s.ekv
  echo old >lim.tif && echo old >lim.png
  for out in lim.tif lim.png -; do
    prlimit --fsize=100000 "$ekv" convert s.ekv -m 2 -o "$out" >lim-stdout 2>err.txt
    rc=$?
    [ $rc -eq 8 ] && grep -q "cannot write .*: File too large" err.txt ||
      fail "file size limit, -o $out: $rc $(cat err.txt)"
  done
  [ "$(cat lim.tif lim.png)" = "$(printf 'old\nold')" ] || fail "a failed write changed the earlier output"
  no_temp_files
  # A full disk: a small tmpfs, if this system lets us mount one.
  if [ "$(id -u)" -eq 0 ] && mkdir -p disk && mount -t tmpfs -o size=1m ekvtest disk 2>/dev/null; then
    expect 8 "cannot write disk/big\.tif: No space left on device" "$ekv" convert in/big1.ekv -m 2 -o disk/big.tif
    [ -z "$(ls -A disk)" ] || fail "a full disk kept: $(ls -A disk)"
    TMPDIR=$PWD/disk "$ekv" convert in/big1.ekv -m 2 -o - >/dev/null 2>err.txt; rc=$?
    [ $rc -eq 8 ] && grep -q "No space left on device" err.txt || fail "full TMPDIR for -o -: $rc $(cat err.txt)"
    umount disk
  else
    echo "note: no tmpfs could be mounted; the full-disk case is not tested" >&2
  fi
  no_temp_files
  ;;

metadata)
  # Colour profiles: sRGB for method 2 (the default), linear sRGB for method 1, none for
  # method 0; --profile overrides; LittleCMS parses what is embedded, in TIFF and PNG.
  small s.ekv --model "KX-100" --datetime "2024:05:01 12:34:56" --artist "A. Person" --copyright "(c) 2024" \
    --iso 400 --exposure-time 1/250 --f-number 28/10 --focal-length 50/1
  expect 0 "" "$ekv" convert s.ekv -o d.tif
  expect 0 "" "$ekv" convert s.ekv -m 2 -o m2.tif
  cmp -s d.tif m2.tif || fail "the default method is not 2"
  for m in 0 1 2; do
    expect 0 "" "$ekv" convert s.ekv -m "$m" -o "m$m.tif"
    expect 0 "" "$ekv" convert s.ekv -m "$m" -o "m$m.png"
    expect 0 "" "$ekv" convert s.ekv -m "$m" --profile none -o "n$m.tif"
    [ "$("$check" diff "m$m.tif" "n$m.tif" | wc -l)" = 0 ] || fail "method $m: the profile changed the pixels"
    [ "$("$check" diff "m$m.tif" "m$m.png" | wc -l)" = 0 ] || fail "method $m: TIFF and PNG pixels differ"
    [ "$("$check" profile "n$m.tif")" = none ] || fail "--profile none embedded a profile"
    pngcheck -q "m$m.png" >/dev/null || fail "pngcheck rejects m$m.png: $(pngcheck "m$m.png")"
  done
  for f in m0.tif m0.png; do [ "$("$check" profile $f)" = none ] || fail "$f: method 0 has a profile"; done
  for f in m1.tif m1.png; do [ "$("$check" profile $f)" = "Linear sRGB (gamma 1.0) linear" ] || fail "$f: $("$check" profile $f)"; done
  for f in m2.tif m2.png; do [ "$("$check" profile $f)" = "sRGB curved" ] || fail "$f: $("$check" profile $f)"; done
  expect 0 "" "$ekv" convert s.ekv -m 0 --profile srgb -o p0.png
  [ "$("$check" profile p0.png)" = "sRGB curved" ] || fail "--profile srgb: $("$check" profile p0.png)"
  expect 0 "" "$ekv" convert s.ekv --profile linear -o p2.tif
  [ "$("$check" profile p2.tif)" = "Linear sRGB (gamma 1.0) linear" ] || fail "--profile linear: wrong profile"
  tiffinfo m2.tif | grep -q "ICC Profile: <present>" || fail "tiffinfo sees no ICC profile"
  pngcheck -v m2.png | grep -q "iCCP" || fail "pngcheck sees no iCCP chunk"
  expect 2 "profile must be auto, srgb, linear or none" "$ekv" convert s.ekv --profile adobe

  # 8 bits: linear documents (methods 0 and 1) through the sRGB curve, with an sRGB
  # profile for method 1; --linear keeps plain rounding; method 2 is always rounded.
  for m in 0 1; do
    expect 0 "" "$ekv" convert s.ekv -m "$m" --8bit -o "e$m.tif"
    [ "$("$check" srgb "m$m.tif" "e$m.tif")" = 0 ] || fail "method $m --8bit is not the sRGB-encoded image"
    expect 0 "" "$ekv" convert s.ekv -m "$m" --8bit --linear -o "l$m.png"
    [ "$("$check" reduce "m$m.tif" "l$m.png")" = 0 ] || fail "method $m --8bit --linear is not the rounded image"
  done
  [ "$("$check" profile e1.tif)" = "sRGB curved" ] || fail "8-bit method 1: $("$check" profile e1.tif)"
  [ "$("$check" profile l1.png)" = "Linear sRGB (gamma 1.0) linear" ] || fail "8-bit linear method 1: wrong profile"
  [ "$("$check" profile e0.tif)" = none ] || fail "8-bit method 0 has a profile"
  expect 0 "" "$ekv" convert s.ekv --8bit -o e2.tif
  [ "$("$check" reduce m2.tif e2.tif)" = 0 ] || fail "method 2 --8bit is not the rounded image"
  expect 2 "--linear applies to --8bit only" "$ekv" convert s.ekv -m 1 --linear

  # Every kind of output validates, its Exif directory with the versions and ColorSpace:
  # sRGB where the output is sRGB, else uncalibrated. exiftool checks TIFF compression
  # against TIFF 6.0's list, which has neither Deflate (8) nor libtiff's Zstandard code.
  for c in deflate lzw zstd; do expect 0 "" "$ekv" convert s.ekv --compress "$c" -o "c-$c.tif"; done
  expect 0 "" "$ekv" convert s.ekv -m 1 --png-level 9 -o z1.png
  for out in m0.tif:65535 m1.tif:65535 m2.tif:1 m0.png:65535 m1.png:65535 m2.png:1 n2.tif:65535 p0.png:1 \
      p2.tif:65535 e0.tif:65535 e1.tif:1 e2.tif:1 l0.png:65535 l1.png:65535 c-deflate.tif:1 c-lzw.tif:1 \
      c-zstd.tif:1 z1.png:65535; do
    f=${out%:*}
    validates "$f" "$(case $f in c-deflate.tif | c-zstd.tif) echo "IFD0(:| tag 0x0103 )Compression" ;; esac)"
    got=$(exiftool -s3 -n -ExifVersion -FlashpixVersion -ColorSpace "$f" | tr '\n' ' ')
    [ "$got" = "0232 0100 ${out#*:} " ] || fail "$f: Exif versions and ColorSpace '$got'"
  done
  expect 2 "--profile linear with --8bit needs --linear" "$ekv" convert s.ekv -m 1 --8bit --profile linear

  # The raw's tags: TIFF tags and an Exif directory (tiffinfo), PNG text chunks.
  version=$("$ekv" --version) || fail "ekv --version failed"
  [[ $version =~ ^ekv\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "ekv --version: '$version'"
  info=$(tiffinfo m2.tif 2>&1)
  for line in "Make: Karvex" "Model: KX-100" "DateTime: 2024:05:01 12:34:56" "Artist: A. Person" \
      "Copyright: (c) 2024" "Software: ${version#ekv } is not" "ExposureTime: 0.004000" "FNumber: 2.800000" \
      "ISOSpeedRatings: 400" "DateTimeOriginal: 2024:05:01 12:34:56" "FocalLength: 50.000000"; do
    [ "$line" = "Software: ${version#ekv } is not" ] && line="Software: $version"
    grep -qF "$line" <<<"$info" || fail "tiffinfo lacks '$line': $info"
  done
  [ "$("$check" info m2.tif)" = "248 182 16 3" ] || fail "the tagged TIFF does not read back"
  text=$(pngcheck -t m1.png)
  for line in "Software:" "$version" "Author:" "A. Person" "Copyright:" "Creation Time:" "01 May 2024 12:34:56"; do
    grep -qF -- "$line" <<<"$text" || fail "the PNG text lacks '$line': $text"
  done
  # The PNG's eXIf chunk: one, before the image data, a TIFF structure that tiffdump
  # reads, with every tag and the Exif directory.
  python3 - m1.png m1.exif "$version" <<'PY' || fail "the PNG's eXIf chunk is wrong"
import struct, sys
d = open(sys.argv[1], 'rb').read()
at, names, block = 8, [], None
while at < len(d):
    n, t = struct.unpack_from('>I4s', d, at)
    names.append(t)
    if t == b'eXIf': block = d[at + 8:at + 8 + n]
    at += 12 + n
assert names.count(b'eXIf') == 1 and names.index(b'eXIf') < names.index(b'IDAT'), names
open(sys.argv[2], 'wb').write(block)
def ifd(off):
    tags = {}
    for i in range(struct.unpack_from('<H', block, off)[0]):
        tag, typ, cnt, val = struct.unpack_from('<HHII', block, off + 2 + 12 * i)
        size = {2: 1, 3: 2, 4: 4, 5: 8, 7: 1}[typ] * cnt
        raw = block[off + 10 + 12 * i:][:size] if size <= 4 else block[val:val + size]
        tags[tag] = (raw.rstrip(b'\0').decode() if typ == 2 else raw if typ == 7 else
                     struct.unpack('<' + {3: 'H', 4: 'I', 5: 'II'}[typ], raw))
    return tags
zero = ifd(8)
exif = ifd(zero[0x8769][0])
assert (zero[0x10F], zero[0x110], zero[0x131]) == ('Karvex', 'KX-100', sys.argv[3] + ' (Karvex RAW File import)'), zero
assert (zero[0x132], zero[0x13B], zero[0x8298]) == ('2024:05:01 12:34:56', 'A. Person', '(c) 2024'), zero
assert exif == {0x829A: (1, 250), 0x829D: (28, 10), 0x8827: (400,), 0x9000: b'0232', 0x9003: '2024:05:01 12:34:56',
                0x920A: (50, 1), 0xA000: b'0100', 0xA001: (65535,)}, exif
assert list(exif) == sorted(exif), list(exif)
PY
  tiffdump m1.exif | grep -q "Model (272) ASCII (2) 7<KX-100" || fail "tiffdump cannot read the eXIf block"
  # A plain sample: Make only, no Exif directory.
  small plain.ekv
  expect 0 "" "$ekv" convert plain.ekv -o plain.tif
  tiffinfo plain.tif | grep -q "Make: Karvex" || fail "Make not carried over"
  tiffinfo plain.tif | grep -q "EXIF" && fail "an Exif directory without Exif values"
  # Malformed tags are skipped: a text tag pointing past the end, a rational of the wrong
  # type, a count that overflows, a date in another form. The image is converted and the
  # good tags are kept; a stray byte that is not UTF-8 is carried as U+FFFD, with a note.
  cp s.ekv bad.ekv
  python3 - bad.ekv <<'PY' || fail "could not damage the tags"
import struct, sys
d = bytearray(open(sys.argv[1], 'rb').read())
def entries(off):
    n = struct.unpack_from('<H', d, off)[0]
    return [(off + 2 + 12 * i,) + struct.unpack_from('<HHII', d, off + 2 + 12 * i) for i in range(n)]
ifd0 = struct.unpack_from('<I', d, 4)[0]
exif = [e for e in entries(ifd0) if e[1] == 0x8769][0][4]
for at, tag, typ, cnt, val in entries(ifd0) + entries(exif):
    if tag == 0x0110: struct.pack_into('<I', d, at + 8, len(d) - 3)          # Model past the end
    if tag == 0x013B: struct.pack_into('<I', d, at + 4, 0xFFFFFFFF)          # Artist: huge count
    if tag == 0x0132: d[val:val + 4] = b'2024'; d[val + 4] = ord('-')        # DateTime: wrong form
    if tag == 0x8298: d[val] = 0xE9                                          # Copyright: not UTF-8
    if tag == 0x829A: struct.pack_into('<H', d, at + 2, 3)                   # ExposureTime: SHORT
    if tag == 0x920A: struct.pack_into('<I', d, at + 8, 0xFFFFFFF0)          # FocalLength: out of bounds
open(sys.argv[1], 'wb').write(d)
PY
  expect 0 "note: Copyright holds bytes that are not UTF-8" "$ekv" convert bad.ekv -o bad.tif
  expect 0 "note: Copyright holds bytes that are not UTF-8" "$ekv" info bad.ekv
  grep -qF $'copyright:                   \xef\xbf\xbdc) 2024' out.txt || fail "info's copyright: $(cat out.txt)"
  info=$(tiffinfo bad.tif 2>&1)
  grep -qF "Copyright: ?c) 2024" <<<"$info" || fail "the Copyright's ASCII form: $info"
  [ "$(exiftool -s3 -XMP-dc:Rights bad.tif)" = $'\xef\xbf\xbdc) 2024' ] || fail "the Copyright in XMP"
  for tag in Model Artist DateTime: ExposureTime FocalLength; do
    grep -q "^  $tag" <<<"$info" && fail "a malformed $tag was carried over: $info"
  done
  for line in "Make: Karvex" "FNumber: 2.800000" "ISOSpeedRatings: 400"; do
    grep -qF "$line" <<<"$info" || fail "a good tag was lost next to malformed ones: $line"
  done
  "$check" diff m2.tif bad.tif | grep -q . && fail "malformed tags changed the pixels"
  # Text that is not ASCII, as written: UTF-8 in info, an ASCII form in the TIFF and Exif
  # text tags, the full text in XMP (TIFF tag 700, PNG iTXt) and in PNG's iTXt keywords.
  small u.ekv --model "Zoë X-1" --artist "Zoë Ørsted & <Co>" --copyright "© 2024 Zoë" --iso 100
  expect 0 "" "$ekv" info --json u.ekv
  python3 -c 'import json, sys; i = json.load(open(sys.argv[1]))
assert (i["model"], i["artist"], i["copyright"]) == ("Zoë X-1", "Zoë Ørsted & <Co>", "© 2024 Zoë"), i' out.txt ||
    fail "info's UTF-8 text: $(cat out.txt)"
  names=(-Model -Artist -Copyright -XMP-tiff:Model -XMP-dc:Creator -XMP-dc:Rights)
  for f in u.tif u.png; do
    expect 0 "" "$ekv" convert u.ekv -o "$f"
    validates "$f"
    got=$(exiftool -s3 -EXIF:Model -EXIF:Artist -EXIF:Copyright -XMP-tiff:Model -XMP-dc:Creator -XMP-dc:Rights "$f")
    [ "$got" = $'Zoe X-1\nZoe Orsted & <Co>\n(c) 2024 Zoe\nZoë X-1\nZoë Ørsted & <Co>\n© 2024 Zoë' ] ||
      fail "$f: the text tags are '$got'"
  done
  tiffdump u.tif | grep -q "^700 (0x2bc) BYTE" || fail "no XMP packet in tag 700: $(tiffdump u.tif)"
  [ "$(exiftool -s3 -PNG:Author -PNG:Copyright u.png)" = $'Zoë Ørsted & <Co>\n© 2024 Zoë' ] ||
    fail "PNG's Author and Copyright keywords"
  [ "$(pngcheck -v u.png | grep -c "chunk iTXt")" = 3 ] && pngcheck -t u.png | grep -q "^XML:com.adobe.xmp:" ||
    fail "no XMP iTXt chunk: $(pngcheck -v -t u.png)"
  # Random damage to the directories: info answers with valid JSON or a clean refusal,
  # convert writes a readable image or refuses; never a crash.
  python3 - s.ekv <<'PY' || fail "could not make damaged copies"
import random, struct, sys
d = open(sys.argv[1], 'rb').read()
end = struct.unpack_from('<I', d, 4)[0] + 1024
rng = random.Random(13)
for i in range(60):
    b = bytearray(d)
    for _ in range(rng.randint(1, 8)):
        at = rng.randrange(8, end - 4)
        if rng.random() < 0.5: b[at] = rng.randrange(256)
        else: struct.pack_into('<I', b, at, rng.choice([0, 0xFFFFFFFF, 0x7FFFFFF0, len(d) - 2, rng.randrange(1 << 32)]))
    open('fuzz%02d.ekv' % i, 'wb').write(b)
PY
  for f in fuzz*.ekv; do
    "$ekv" info --json "$f" >fuzz.json 2>/dev/null
    rc=$?
    case $rc in 0|4|5) ;; *) fail "info of $f exited $rc" ;; esac
    python3 -c 'import json,sys; json.load(open(sys.argv[1]))' fuzz.json || fail "info of $f is not JSON"
  done
  for f in fuzz0*.ekv; do
    "$ekv" convert "$f" -o fuzz.tif 2>/dev/null
    rc=$?
    case $rc in
      0) "$check" info fuzz.tif >/dev/null || fail "$f: unreadable output" ;;
      4|5) ;;
      *) fail "convert of $f exited $rc" ;;
    esac
  done
  # Without a colour matrix methods 1 and 2 give black: a warning, and still an output.
  small nonote.ekv --matrix 0,0,0,0,0,0,0,0,0
  expect 0 "warning: the file has no colour matrix" "$ekv" convert nonote.ekv -o nonote.tif
  [ -f nonote.tif ] || fail "no output for a file without the maker note"
  expect 0 "" "$ekv" convert nonote.ekv -m 0 -o nonote0.tif
  grep -q warning err.txt && fail "method 0 warned about the colour matrix"
  no_temp_files
  ;;

scripts)
  small a.ekv
  small b.ekv --big-endian --pattern GBRG --wb-red 2.0 --wb-blue 1.25
  head -c 20000 a.ekv >cut.ekv
  printf 'not a raw file\n' >text.ekv
  "$ekv" info --json a.ekv b.ekv cut.ekv missing.ekv text.ekv >all.json 2>err.txt
  rc=$?
  [ "$rc" = 3 ] || fail "info of five files with failures exited $rc, expected 3 (the first failure)"
  [ "$(wc -l <err.txt)" = 2 ] || fail "info: not one message per unreadable file: $(cat err.txt)"
  "$ekv" convert cut.ekv -o cut.tif 2>convert-err.txt
  python3 - all.json "$(sed 's/^ekv: cut.ekv: //' convert-err.txt)" <<'PY' || fail "info --json: $(head -c 3000 all.json)"
import json, sys
a, b, cut, missing, text = json.load(open(sys.argv[1]))
for o in (a, b, cut, missing, text): assert o['schema'] == 1, o
assert a['file'] == 'a.ekv' and a['endian'] == 'II' and a['endian_mark'] == 0x4949
assert b['endian'] == 'MM' and b['endian_mark'] == 0x4D4D
assert a['cfa_pattern'] == 'RGGB' and b['cfa_pattern'] == 'GBRG', (a['cfa_pattern'], b['cfa_pattern'])
assert (a['wb_red'], a['wb_blue']) == (1.75, 1.5) and (b['wb_red'], b['wb_blue']) == (2.0, 1.25)
assert isinstance(a['wb_gain_gr'], int)
assert a['strip_count'] == len(a['strip_offsets']) == len(a['strip_byte_count']) == 2
assert all(isinstance(v, int) for v in a['strip_offsets'] + a['strip_byte_count'])
assert (a['document_width'], a['document_height'], a['bands']) == (248, 196, 7)
assert a['convertible'] is True and a['reason'] is None and a['make'] == 'Karvex' and a['model'] is None
assert cut['convertible'] is False and cut['reason'] == sys.argv[2], (cut['reason'], sys.argv[2])
assert missing['error'] == 'no such file' and missing['exit_status'] == 3 and 'endian' not in missing
assert text['error'] == 'not an EKV file' and text['exit_status'] == 4
PY
  grep -q "sensor data are missing" convert-err.txt || fail "convert accepted the cut file: $(cat convert-err.txt)"
  # One file: one object; text output for several files.
  "$ekv" info --json a.ekv | python3 -c 'import json,sys; assert json.load(sys.stdin)["schema"] == 1' ||
    fail "info --json of one file is not one object"
  "$ekv" info a.ekv b.ekv >both.txt || fail "info of two files failed"
  [ "$(grep -c '^endian:' both.txt)" = 2 ] || fail "info of two files: $(cat both.txt)"
  grep -Eq '^cfa_pattern: +GBRG$' both.txt || fail "info text has no pattern name"

  # The same input twice is refused, also through another path.
  expect 2 "a\.ekv is given twice" "$ekv" convert a.ekv a.ekv
  expect 2 "\./a\.ekv is given twice" "$ekv" convert a.ekv ./a.ekv -d .
  [ -e a.tif ] && fail "an output was written although an input was given twice"

  # A damaged thumbnail is damaged, not missing.
  python3 - a.ekv far.ekv <<'PY' || fail "could not move the thumbnail"
import struct, sys
d = bytearray(open(sys.argv[1], 'rb').read())
ifd0 = struct.unpack_from('<I', d, 4)[0]
ifd1 = struct.unpack_from('<I', d, ifd0 + 2 + 12 * struct.unpack_from('<H', d, ifd0)[0])[0]
for i in range(struct.unpack_from('<H', d, ifd1)[0]):
    if struct.unpack_from('<H', d, ifd1 + 2 + 12 * i)[0] == 0x201:
        struct.pack_into('<I', d, ifd1 + 10 + 12 * i, len(d) + 100)
open(sys.argv[2], 'wb').write(d)
PY
  expect 5 "far\.ekv: the thumbnail is damaged" "$ekv" thumbnail far.ekv -o far.jpg
  [ ! -e far.jpg ] || fail "a damaged thumbnail was written"

  # A path longer than the module's 259 bytes reaches the same file.
  deep=$PWD
  for i in 1 2 3 4 5 6 7 8 9 10; do deep=$deep/directory-with-a-long-name-$i; done
  mkdir -p "$deep" && cp b.ekv "$deep/long.ekv" && cp a.ekv "$deep/other.ekv"
  [ ${#deep} -gt 260 ] || fail "the test path is only ${#deep} bytes"
  expect 0 "" "$ekv" convert "$deep/long.ekv" -o long.tif
  expect 0 "" "$ekv" convert b.ekv -o short.tif
  cmp -s long.tif short.tif || fail "a long path converted another file"
  "$ekv" info --json "$deep/long.ekv" | python3 -c 'import json,sys; assert json.load(sys.stdin)["endian"] == "MM"' ||
    fail "info of a long path"

  # Each command's --help lists the exit codes it can give and no others.
  declare -A codes=([convert]="0 2 3 4 5 6 7 8 9" [info]="0 2 3 4 5 7 8" [thumbnail]="0 2 3 4 5 7 8 10"
                    [preview]="0 2 3 4 5 7 8" [dng]="0 2 3 4 5 7 8" [about]="0 2 8 9")
  for command in "${!codes[@]}"; do
    listed=$("$ekv" "$command" --help | sed -n '/^Exit status:/,$p' | grep -Eo '^  [0-9]+ ' | tr -d ' ' | xargs)
    [ "$listed" = "${codes[$command]}" ] || fail "ekv $command --help lists exit codes '$listed'"
  done
  no_temp_files
  ;;
*)
  echo "unknown group $group" >&2; exit 2 ;;
esac

[ $failures -eq 0 ] && echo "ekv cli $group: all passed"
exit $((failures > 0))
