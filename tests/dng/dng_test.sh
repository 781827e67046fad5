#!/usr/bin/env bash
# DNG files of ekv-make --dng and ekv dng, read by real raw converters: dcraw, LibRaw
# (raw-identify, unprocessed_raw, dcraw_emu), RawTherapee (rawtherapee-cli), darktable
# (darktable-cli) and exiftool.
#
#   dng_test.sh GROUP EKV EKV_MAKE WORKDIR MOSAIC_WRITER
# GROUP: mosaic | clients | converters | colour | refusals | outputs | metadata
set -uo pipefail

group=$1 ekv=$2 make=$3 work=$4 mosaic_writer=$5
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
failures=0

fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# has TEXT PATTERN WHAT: the text matches the extended regular expression.
has() { grep -Eq -- "$2" <<<"$1" || fail "$3: '$2' not found in: $1"; }

# A small camera: 264 x 200 sensor, output 248 x 196.
small() { "$make" sample -o "$1" --width 264 --height 200 "${@:2}" >/dev/null || fail "ekv-make $*"; }

# identify FILE W H PATTERN: dcraw and LibRaw name the camera, the size and the pattern.
identify() {
  local info
  info=$(dcraw -i -v "$1" 2>&1) || fail "dcraw cannot identify $1: $info"
  has "$info" "Camera: Karvex EKV" "dcraw -i -v $1"
  has "$info" "Full size: +$2 x $3" "dcraw -i -v $1"
  has "$info" "Filter pattern: $4" "dcraw -i -v $1"
  info=$(raw-identify -v "$1" 2>&1) || fail "raw-identify cannot identify $1: $info"
  has "$info" "UniqueCameraModel: =Karvex EKV=" "raw-identify -v $1"
  has "$info" "Full size: +$2 x $3" "raw-identify -v $1"
  has "$info" "Filter pattern: ${4//\//}" "raw-identify -v $1"
}

# The raw samples as dcraw reads them (no scaling, no interpolation).
raw_dump() { dcraw -D -4 -T -c "$1" >"$2" 2>/dev/null || fail "dcraw -D cannot read $1"; }

# same_raw A.dng B.dng WHAT: dcraw and LibRaw read the same raw samples from both.
same_raw() {
  raw_dump "$1" a.tiff
  raw_dump "$2" b.tiff
  cmp -s a.tiff b.tiff || fail "dcraw reads other samples from $1 than from $2 ($3)"
  unprocessed_raw -q "$1" && unprocessed_raw -q "$2" || fail "LibRaw's unprocessed_raw cannot read $1 or $2"
  cmp -s "$1.pgm" "$2.pgm" || fail "LibRaw reads other samples from $1 than from $2 ($3)"
  rm -f a.tiff b.tiff "$1.pgm" "$2.pgm"
}

case $group in
mosaic)
  # ekv-make's DNG holds the mosaic it wrote into the EKV file; ekv dng reads the same
  # samples back through the module's reader, whatever the depth, order and offset.
  for variant in "" "--big-endian --bits 12 --pattern GBRG --strips 5" "--bits 8 --pattern BGGR" \
                 "--bits 10 --bit-offset 6 --pattern GRBG --rows-per-strip 37"; do
    # shellcheck disable=SC2086
    small v.ekv --dng made.dng $variant
    "$ekv" dng v.ekv -o read.dng || fail "ekv dng ($variant)"
    "$ekv" dng v.ekv --uncompressed -o plain.dng || fail "ekv dng --uncompressed ($variant)"
    # ekv-make's DNG is uncompressed; ekv dng's lossless JPEG by default.
    has "$(exiftool -s3 -SubIFD:Compression read.dng) $(exiftool -s3 -SubIFD:Compression plain.dng)" \
      "^JPEG Uncompressed$" "the compression of ekv dng and ekv dng --uncompressed"
    same_raw made.dng read.dng "ekv-make --dng and ekv dng, $variant"
    same_raw made.dng plain.dng "ekv-make --dng and ekv dng --uncompressed, $variant"
    pattern=$(case "$variant" in *GBRG*) echo GB/RG;; *BGGR*) echo BG/GR;; *GRBG*) echo GR/BG;; *) echo RG/GB;; esac)
    identify made.dng 264 200 "$pattern"
    identify read.dng 264 200 "$pattern"
  done
  # Lossless JPEG at its limits: 16 bits whose differences reach -32768 (coded with no
  # extra bits) and wrap modulo 2^16, noise over 16 bits, samples 1 bit wide.
  "$make" flat -o f.ekv --width 264 --height 200 --bits 16 --value 0,32768,32768,65535 --dng made.dng >/dev/null &&
    "$ekv" dng f.ekv -o read.dng || fail "a flat 16-bit file"
  same_raw made.dng read.dng "16 bits, differences of 32768"
  small n.ekv --bits 16 --noise 40 --dng made.dng && "$ekv" dng n.ekv -o read.dng || fail "a noisy 16-bit file"
  same_raw made.dng read.dng "16 bits of noise"
  small one.ekv --bits 1 --dng made.dng && "$ekv" dng one.ekv -o read.dng || fail "a 1-bit file"
  same_raw made.dng read.dng "1 bit"
  # A made-up mosaic whose Huffman codes must be limited to 16 bits, and noise.
  "$mosaic_writer" skewed.dng expected.pgm || fail "dng_ljpeg_mosaic"
  dcraw -D -4 -c skewed.dng >dcraw.pgm && cmp -s dcraw.pgm expected.pgm || fail "dcraw decodes another mosaic"
  unprocessed_raw -q skewed.dng && tail -c 360000 skewed.dng.pgm | cmp -s - <(tail -c 360000 expected.pgm) ||
    fail "LibRaw decodes another mosaic"
  # The default camera, as the benchmarks make it.
  "$make" sample -o big.ekv --dng big.dng || fail "ekv-make sample --dng"
  identify big.dng 2256 1684 RG/GB
  "$ekv" dng big.ekv -o read.dng || fail "ekv dng of the default sample"
  same_raw big.dng read.dng "the default sample"
  "$make" sample -o tall.ekv --height 6000 --dng tall.dng || fail "ekv-make sample --height 6000 --dng"
  identify tall.dng 2256 6000 RG/GB
  ;;

clients)
  small s.ekv --pattern GBRG --black 10,20,30,40 --wb-red 2 --wb-blue 1.25
  "$ekv" dng s.ekv -o s.dng || fail "ekv dng"
  identify s.dng 264 200 GB/RG
  tags=$(exiftool -a -G1 -s s.dng)
  has "$tags" "CFAPattern2 +: 1 2 0 1" "CFA pattern"
  has "$tags" "CFAPlaneColor +: Red,Green,Blue" "plane colours"
  # GBRG: the top-left cell is Gb, then B, R, Gr (black levels R 10, Gr 20, Gb 30, B 40).
  has "$tags" "BlackLevel +: 30 40 10 20" "black levels on the cells"
  has "$tags" "BlackLevelRepeatDim +: 2 2" "black level repeat"
  has "$tags" "WhiteLevel +: 1023" "white level"
  has "$tags" "DefaultCropOrigin +: 2 2" "crop origin"
  has "$tags" "DefaultCropSize +: 248 196" "crop size"
  has "$tags" "AsShotNeutral +: 0.5 1 0.8" "as-shot neutral"
  has "$tags" "CalibrationIlluminant1 +: D65" "illuminant"
  has "$tags" "DNGVersion +: 1.4.0.0" "DNG version"
  has "$tags" "DNGBackwardVersion +: 1.1.0.0" "backward version"
  has "$tags" "\[IFD0\] +SubfileType +: Reduced-resolution image" "preview in IFD0"
  has "$tags" "\[SubIFD\] +SubfileType +: Full-resolution image" "raw in a SubIFD"
  has "$tags" "ProfileToneCurve +: \(large array of 2050 float values\)" "tone curve"
  # Tone mode 1 selects the table of resource 1001: entry 4096 (sample 64) is 16384 and
  # entry 16384 (sample 256) is 40959; the curve ends at (1, 1).
  curve=$(exiftool -m -b -ProfileToneCurve s.dng | tr ' ' '\n' | sed -n '129,130p;513,514p;2049,2050p' | tr '\n' ' ')
  has "$curve" "^0\.06250[0-9]* 0\.25000[0-9]* 0\.25000[0-9]* 0\.62499[0-9]* 1 1 ?$" "tone curve points"
  "$ekv" thumbnail s.ekv -o thumb.jpg || fail "ekv thumbnail"
  exiftool -b -PreviewImage s.dng >preview.jpg
  cmp -s thumb.jpg preview.jpg || fail "the preview is not the embedded thumbnail"
  # The colour matrix maps D65 white to the as-shot neutral (largest component 1).
  matrix=$(exiftool -s3 -ColorMatrix1 s.dng)
  python3 - "$matrix" <<'PY' || fail "ColorMatrix1 does not map D65 white to the neutral: $matrix"
import sys
m = [float(v) for v in sys.argv[1].split()]
white = (0.950456, 1.0, 1.088754)
camera = [sum(m[3 * r + c] * white[c] for c in range(3)) for r in range(3)]
expected = (0.5, 1.0, 0.8)
sys.exit(0 if all(abs(a - b) < 1e-4 for a, b in zip(camera, expected)) else 1)
PY
  # Without a thumbnail the mosaic is IFD0 itself.
  small plain.ekv --no-thumbnail
  "$ekv" dng plain.ekv -o plain.dng || fail "ekv dng without thumbnail"
  has "$(exiftool -a -G1 -s plain.dng)" "\[IFD0\] +SubfileType +: Full-resolution image" "raw in IFD0"
  identify plain.dng 264 200 RG/GB
  for f in s.dng plain.dng; do
    report=$(exiftool -validate -warning -a "$f" 2>&1)
    echo "$report"
    # Warnings are shown; an error fails. exiftool warns that the SubIFD pointer has type
    # IFD (libtiff's choice) where it lists LONG; TIFF-EP and DNG allow either.
    grep -Eq "^Error|^Validate +: .*Error" <<<"$report" && fail "exiftool -validate reports errors for $f"
  done
  ;;

converters)
  # Every converter opens every DNG, compressed or not, and develops the same image from
  # both, with neutral greys: the default sample and files of other byte orders, depths,
  # patterns and sizes (each over 100000 bytes: RawTherapee takes smaller files for
  # something other than raw files).
  for client in dcraw raw-identify unprocessed_raw dcraw_emu rawtherapee-cli darktable-cli; do
    command -v $client >/dev/null || fail "$client is not installed (tools/setup.sh installs the raw converters)"
  done
  names=(default be12 bggr8 grbg16)
  "$make" sample -o default.ekv >/dev/null || fail "ekv-make sample"
  "$make" sample -o be12.ekv --big-endian --bits 12 --pattern GBRG --noise 4 --width 1200 --height 900 \
    >/dev/null || fail "ekv-make be12"
  # At 8 bits the darkest grey is some 8 units above black: without noise enough to
  # dither it, rounding alone tints it by 4 % in every converter (and in the module).
  "$make" sample -o bggr8.ekv --bits 8 --pattern BGGR --noise 4 --width 1000 --height 750 --no-thumbnail \
    >/dev/null || fail "ekv-make bggr8"
  "$make" sample -o grbg16.ekv --bits 16 --pattern GRBG --width 810 --height 604 >/dev/null || fail "ekv-make grbg16"
  mkdir -p dng rt dt
  for n in "${names[@]}"; do
    "$ekv" dng $n.ekv -o dng/$n.dng && "$ekv" dng $n.ekv --uncompressed -o dng/$n.plain.dng || fail "ekv dng $n"
    same_raw dng/$n.dng dng/$n.plain.dng "$n"
    for f in dng/$n.dng dng/$n.plain.dng; do
      dcraw -i "$f" >/dev/null 2>&1 && raw-identify "$f" >/dev/null 2>&1 || fail "dcraw or LibRaw cannot identify $f"
    done
    dcraw -w -W -o 1 -4 -T -q 0 -c dng/$n.dng >$n.dcraw.tiff || fail "dcraw cannot develop $n"
    python3 "$here/chart_patches.py" neutral linear $n.dcraw.tiff >/dev/null || fail "dcraw's greys of $n are not neutral"
    dcraw_emu -w -W -o 1 -4 -T -q 0 -Z $n.libraw.tiff dng/$n.dng >/dev/null || fail "LibRaw cannot develop $n"
    python3 "$here/chart_patches.py" neutral linear $n.libraw.tiff >/dev/null || fail "LibRaw's greys of $n are not neutral"
  done
  # RawTherapee (16-bit TIFF, its default profile, its configuration here rather than
  # in the user's home): all files in one run. It leaves out 4 samples at each edge and
  # does not apply the default crop.
  XDG_CONFIG_HOME=$PWD/rawtherapee XDG_CACHE_HOME=$PWD/rawtherapee rawtherapee-cli -o rt -t -Y -c dng/*.dng \
    >rt.log 2>&1 || fail "rawtherapee-cli exited $?: $(tail -3 rt.log)"
  # darktable headless, with a configuration, a cache and a library of its own that go
  # away: 16-bit uncompressed TIFF, all files in one run (it takes a few seconds to start).
  imports=()
  for f in dng/*.dng; do imports+=(--import "$f"); done
  darktable-cli "${imports[@]}" 'dt/$(FILE_NAME)' --out-ext tif --core --configdir "$PWD/darktable" \
    --cachedir "$PWD/darktable" --library :memory: --conf plugins/imageio/format/tiff/bpp=16 \
    --conf plugins/imageio/format/tiff/compress=0 \
    >dt.log 2>&1 || fail "darktable-cli exited $?: $(tail -3 dt.log)"
  for n in "${names[@]}"; do
    sensor=$(dcraw -i -v dng/$n.dng | sed -n 's/^Full size: *\([0-9]*\) x \([0-9]*\)/\1 \2/p')
    crop=$(exiftool -s3 -DefaultCropSize dng/$n.dng)
    origin=$(exiftool -s3 -DefaultCropOrigin dng/$n.dng)
    for f in $n $n.plain; do
      [ -s rt/$f.tif ] && [ -s dt/$f.tif ] || { fail "RawTherapee or darktable wrote nothing for $f"; continue; }
      rt_size=$(exiftool -s3 -p '$ImageWidth $ImageHeight' rt/$f.tif)
      read -r sw sh <<<"$sensor"
      [ "$rt_size" = "$((sw - 8)) $((sh - 8))" ] || fail "RawTherapee's $f is $rt_size for a $sensor sensor"
      dt_size=$(exiftool -s3 -p '$ImageWidth $ImageHeight' dt/$f.tif)
      [ "$dt_size" = "$crop" ] || fail "darktable's $f is $dt_size, the default crop $crop"
    done
    # RawTherapee's and darktable's developments of one raw vary a little from run to
    # run (up to some hundred samples a few columns from the right edge, by up to 1/800
    # of full scale), so they are compared within 1 sample in 1000 and 1/100 of full
    # scale; a wrong decoding changes whole rows or tiles.
    python3 "$here/chart_patches.py" close rt/$n.tif rt/$n.plain.tif ||
      fail "RawTherapee develops $n compressed otherwise than uncompressed"
    python3 "$here/chart_patches.py" close dt/$n.tif dt/$n.plain.tif ||
      fail "darktable develops $n compressed otherwise than uncompressed"
    python3 "$here/chart_patches.py" neutral srgb rt/$n.tif 4 4 >/dev/null || fail "RawTherapee's greys of $n are not neutral"
    # shellcheck disable=SC2086
    python3 "$here/chart_patches.py" neutral srgb dt/$n.tif $origin >/dev/null ||
      fail "darktable's greys of $n are not neutral"
  done
  ;;

colour)
  # The default sample developed by dcraw and LibRaw in linear sRGB, against the module's
  # own development with the camera's settings (method 1).
  "$make" sample -o s.ekv || fail "ekv-make sample"
  "$ekv" dng s.ekv -o s.dng || fail "ekv dng"
  "$ekv" convert s.ekv -m 1 -o module.tif || fail "ekv convert -m 1"
  dcraw -w -W -o 1 -4 -T -q 0 -c s.dng >dcraw.tiff || fail "dcraw cannot develop the DNG"
  python3 "$here/chart_patches.py" neutral linear dcraw.tiff || fail "dcraw's greys are not neutral"
  python3 "$here/chart_patches.py" delta dcraw.tiff module.tif || fail "dcraw's colours differ from the module's"
  dcraw_emu -w -W -o 1 -4 -T -q 0 -Z libraw.tiff s.dng >/dev/null || fail "LibRaw cannot develop the DNG"
  python3 "$here/chart_patches.py" neutral linear libraw.tiff || fail "LibRaw's greys are not neutral"
  python3 "$here/chart_patches.py" delta libraw.tiff module.tif || fail "LibRaw's colours differ from the module's"
  # Neither applies the camera's tone curve: their developments stay the same without it.
  exiftool -q -ProfileToneCurve= -o flat.dng s.dng || fail "exiftool cannot drop the tone curve"
  dcraw -w -W -o 1 -4 -T -q 0 -c flat.dng | cmp -s - dcraw.tiff && echo "dcraw ignores ProfileToneCurve"
  dcraw_emu -w -W -o 1 -4 -T -q 0 -Z flat.tiff flat.dng >/dev/null
  cmp -s flat.tiff libraw.tiff && echo "LibRaw ignores ProfileToneCurve"
  ;;

refusals)
  small good.ekv
  printf 'II*\0 this is a TIFF-looking text file, not a raw file\n' >text.ekv
  head -c 20000 good.ekv >cut.ekv
  # Damaged: the maker note claims 20 valid bits.
  python3 -c "import sys; d = bytearray(open('good.ekv', 'rb').read()); i = d.find(bytes.fromhex('2c10030002000000'))
d[i + 8:i + 10] = (20).to_bytes(2, 'little'); sys.exit(i < 0 or open('bits.ekv', 'wb').write(d) < 0)" ||
    fail "could not patch the valid bits"
  # The same refusal, message and exit status as convert, and no DNG left behind.
  for f in missing.ekv text.ekv cut.ekv bits.ekv .; do
    "$ekv" convert "$f" -o out.tif 2>convert.txt
    want=$?
    "$ekv" dng "$f" -o out.dng 2>dng.txt
    got=$?
    [ "$got" -eq "$want" ] && [ "$want" -ne 0 ] || fail "ekv dng $f exited $got, convert $want"
    cmp -s convert.txt dng.txt || fail "ekv dng $f says '$(cat dng.txt)', convert '$(cat convert.txt)'"
    [ ! -e out.dng ] || fail "a DNG was left behind for $f"
  done
  left=$(find . -name '.*.tmp-*')
  [ -z "$left" ] || fail "temporary files left behind: $left"
  # Memory running out while the tiles are coded (or the threads started): exit 7 and
  # no DNG, never a crash, at any limit.
  "$make" sample -o wide.ekv --width 12000 --height 300 >/dev/null || fail "ekv-make a wide file"
  for limit in $(seq 20000 1000 44000); do
    (ulimit -v $limit && exec "$ekv" dng wide.ekv -o wide.dng 2>/dev/null)
    rc=$?
    [ $rc -eq 0 ] || { [ $rc -eq 7 ] && [ ! -e wide.dng ]; } || fail "ekv dng under ulimit -v $limit exited $rc"
    rm -f wide.dng
  done
  # An output that is an input, the same output twice, a bad command line.
  cp good.ekv same.dng
  "$ekv" dng same.dng -o same.dng 2>err.txt; rc=$?
  [ $rc -eq 8 ] && grep -q "is the input file; it is not overwritten" err.txt ||
    fail "an input as output: $rc $(cat err.txt)"
  cmp -s good.ekv same.dng || fail "the input was overwritten"
  mkdir -p a b out && cp good.ekv a/x.ekv && cp good.ekv b/x.ekv
  "$ekv" dng a/x.ekv b/x.ekv -d out 2>err.txt; rc=$?
  [ $rc -eq 8 ] && grep -q "is also the output of a/x.ekv" err.txt && [ -s out/x.dng ] ||
    fail "the same output twice: $rc $(cat err.txt)"
  "$ekv" dng good.ekv -j 0 2>err.txt; [ $? -eq 2 ] || fail "-j 0 accepted"
  "$ekv" dng good.ekv -j 2 || fail "-j 2"
  [ -s good.dng ] || fail "no DNG beside the input"
  "$ekv" dng a.ekv b.ekv -o x.dng 2>err.txt; [ $? -eq 2 ] || fail "-o with two inputs accepted"
  ;;

outputs)
  # The output rules of convert: a batch with failures in the middle, -j, --no-clobber,
  # standard output, contradicting extensions, inputs named twice, long paths.
  small a.ekv
  small b.ekv --pattern GBRG
  small c.ekv --bits 12
  head -c 20000 a.ekv >cut.ekv
  printf 'not a raw file\n' >text.ekv
  mkdir out
  "$ekv" dng a.ekv cut.ekv b.ekv text.ekv c.ekv -j 2 -d out 2>err.txt; rc=$?
  [ $rc -eq 5 ] || fail "a batch failing first on a cut file exited $rc, expected 5"
  [ "$(wc -l <err.txt)" = 2 ] && head -1 err.txt | grep -q '^ekv: cut.ekv: damaged' &&
    tail -1 err.txt | grep -q '^ekv: text.ekv: not an EKV file' || fail "batch messages: $(cat err.txt)"
  for f in a b c; do [ -s out/$f.dng ] || fail "the batch did not write out/$f.dng"; done
  [ ! -e out/cut.dng ] && [ ! -e out/text.dng ] || fail "a failing input left a DNG"
  [ -z "$(find . -name '.*.tmp-*')" ] || fail "temporary files left behind"
  "$ekv" dng b.ekv -o one.dng -j 1 || fail "ekv dng -o one.dng"
  cmp -s one.dng out/b.dng || fail "a worker process wrote another DNG than a single run"
  identify out/c.dng 264 200 RG/GB
  # Standard output through a pipe, byte for byte the file's DNG.
  "$ekv" dng b.ekv -o - | cat >piped.dng
  cmp -s piped.dng one.dng || fail "-o - differs from the file output"
  identify piped.dng 264 200 GB/RG
  # --no-clobber keeps an existing output and skips its input with a note.
  echo kept >out/a.dng
  "$ekv" dng a.ekv b.ekv -d out --no-clobber 2>err.txt || fail "--no-clobber exited $?"
  grep -q "out/a.dng exists; skipped (--no-clobber)" err.txt && [ "$(cat out/a.dng)" = kept ] ||
    fail "--no-clobber: $(cat err.txt)"
  # Refused before anything is written, as convert refuses them.
  "$ekv" dng a.ekv -o x.tif 2>err.txt; rc=$?
  [ $rc -eq 2 ] && grep -q "names a tiff file; ekv dng writes .dng" err.txt && [ ! -e x.tif ] ||
    fail "-o x.tif: $rc $(cat err.txt)"
  "$ekv" dng a.ekv -o x.raw 2>err.txt; [ $? -eq 2 ] || fail "-o x.raw accepted"
  "$ekv" dng a.ekv ./a.ekv -d twice 2>err.txt; rc=$?
  [ $rc -eq 2 ] && grep -q "\./a\.ekv is given twice" err.txt && [ ! -e twice ] || fail "an input twice: $rc"
  "$ekv" dng a.ekv -o UPPER.DNG || fail "-o with .DNG refused"
  # A path longer than the module's 259 bytes reaches the same file.
  deep=$PWD
  for i in 1 2 3 4 5 6 7 8 9 10; do deep=$deep/directory-with-a-long-name-$i; done
  mkdir -p "$deep" && cp b.ekv "$deep/long.ekv"
  "$ekv" dng "$deep/long.ekv" -o long.dng 2>err.txt || fail "a long path: $(cat err.txt)"
  cmp -s long.dng one.dng || fail "a long path gave another DNG"
  ;;

metadata)
  # The camera tags carried as convert carries them, and read by dcraw and exiftool.
  small m.ekv --model "K-7" --datetime '2024:05:06 07:08:09' --artist "A. Painter" --copyright "(c) A. Painter" \
    --iso 200 --exposure-time 1/250 --f-number 28/10 --focal-length 50/1
  "$ekv" dng m.ekv -o m.dng || fail "ekv dng"
  "$ekv" convert m.ekv -o m.tif || fail "ekv convert"
  names=(-Make -Model -ModifyDate -Artist -Copyright -DateTimeOriginal -ExposureTime -FNumber -ISO -FocalLength)
  dng_tags=$(exiftool -s -s -s "${names[@]}" m.dng)
  [ "$dng_tags" = "$(exiftool -s -s -s "${names[@]}" m.tif)" ] && [ "$(wc -l <<<"$dng_tags")" = 10 ] ||
    fail "the DNG's tags differ from convert's: $dng_tags / $(exiftool -s -s -s "${names[@]}" m.tif)"
  has "$(exiftool -s3 -UniqueCameraModel m.dng)" "^Karvex K-7$" "unique camera model"
  info=$(dcraw -i -v m.dng 2>&1)
  has "$info" "Camera: Karvex K-7" "dcraw camera"
  has "$info" "ISO speed: 200" "dcraw ISO"
  has "$info" "Shutter: 1/250\.0 sec" "dcraw shutter"
  has "$info" "Aperture: f/2\.8" "dcraw aperture"
  has "$info" "Focal length: 50\.0 mm" "dcraw focal length"
  has "$info" "Timestamp: Mon May  6 07:08:09 2024" "dcraw timestamp"
  "$ekv" dng m.ekv -o - | cat >piped.dng
  cmp -s piped.dng m.dng || fail "-o - differs from the file output with an Exif directory"
  # Without a preview IFD0 is the mosaic's, rewritten with the Exif offset: the same samples.
  small p.ekv --no-thumbnail --iso 400
  small q.ekv --no-thumbnail
  "$ekv" dng p.ekv -o p.dng && "$ekv" dng q.ekv -o q.dng || fail "ekv dng without a preview"
  has "$(dcraw -i -v p.dng 2>&1)" "ISO speed: 400" "dcraw ISO without a preview"
  dcraw -D -4 -c p.dng >p.pgm && dcraw -D -4 -c q.dng >q.pgm && cmp -s p.pgm q.pgm ||
    fail "the Exif directory changed the mosaic"
  for f in m.dng p.dng; do
    report=$(exiftool -validate -warning -a "$f" 2>&1)
    echo "$report"
    grep -Eq "^Error|^Validate +: .*Error" <<<"$report" && fail "exiftool -validate reports errors for $f"
  done
  # Text that is not ASCII: an ASCII form in IFD0, the whole text in XMP. A raw without a
  # model still gives a Model, the format's name, in ekv dng's and ekv-make's DNGs alike.
  small u.ekv --model "Zoë X-1" --artist "Zoë" --iso 100 --dng made.dng
  "$ekv" dng u.ekv -o u.dng || fail "ekv dng of UTF-8 text"
  has "$(exiftool -s3 -IFD0:Model -IFD0:Artist -XMP-tiff:Model -XMP-dc:Creator u.dng | tr '\n' '|')" \
    "^Zoe X-1\|Zoe\|Zoë X-1\|Zoë\|$" "the DNG's text tags"
  for f in q.dng made.dng; do has "$(exiftool -s3 -Model -UniqueCameraModel "$f" | tr '\n' ' ')" "^EKV Karvex EKV $" "$f's Model"; done
  # Nothing else to warn of than the SubIFD pointer's type (IFD, as libtiff writes it and
  # TIFF-EP allows) and the arrays exiftool leaves undecoded; the Exif directory has the
  # versions Exif requires and ColorSpace uncalibrated (a mosaic is no sRGB image).
  for f in m.dng p.dng u.dng; do
    left=$(exiftool -validate -warning -a "$f" 2>&1 | grep -E '^(Warning|Error)' |
      grep -Ev "Non-standard format \(ifd\) for IFD0 0x014a|\[Minor\] Not decoding some large array")
    [ -z "$left" ] || fail "exiftool -validate $f: $left"
    has "$(exiftool -s3 -n -ExifVersion -FlashpixVersion -ColorSpace "$f" | tr '\n' ' ')" "^0232 0100 65535 $" \
      "the Exif versions and ColorSpace of $f"
  done
  ;;

*)
  echo "unknown group $group" >&2
  exit 2
  ;;
esac

[ "$failures" -eq 0 ] || { echo "$failures failure(s)" >&2; exit 1; }
echo "ok"
