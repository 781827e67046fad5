#!/usr/bin/env bash
# Builds the Debian package of ekv, installs it on this machine with dpkg, checks what a
# user gets (the programs, the manual pages, the file type, the thumbnailer as a file
# manager runs it, the completion), removes and purges it, and checks that nothing of
# it is left. The machine is put back as it was even when a check fails: the package
# is purged on every exit once installed.
#
#   bash tests/package/check_deb.sh [BUILD_DIR]     (as root; BUILD_DIR default build/deb)
#
# CHECK_DEB_DPKG_OPTIONS adds options to 'dpkg -i', e.g. --path-exclude=/usr/share/man/*
# to try the check as on a minimal image that excludes the manual pages.
set -uo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build/deb}
package=ekv
failures=0
installed_by_us=0
work=$(mktemp -d /tmp/check-deb.XXXXXX)

fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
# "ok" for a group of checks only when none of the group failed.
checked=0
pass() {
  [ "$failures" -gt "$checked" ] || echo "ok: $*"
  checked=$failures
}
die() { echo "check_deb: $*" >&2; exit 1; }

# dpkg's state of the package: empty when dpkg does not know it (never installed, or purged).
state() { dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null; }

# dpkg, waiting (up to 10 minutes) while another installation holds its lock, as
# apt-get does with DPkg::Lock::Timeout: the machine is shared.
run_dpkg() {
  local tries=0 log
  log=$(mktemp)
  until dpkg "$@" >"$log" 2>&1; do
    if grep -Eq "locked by another process|unable to acquire the dpkg" "$log" && [ "$tries" -lt 300 ]; then
      tries=$((tries + 1))
      sleep 2
      continue
    fi
    cat "$log"
    rm -f "$log"
    return 1
  done
  cat "$log"
  rm -f "$log"
}

restore() {
  if [ "$installed_by_us" = 1 ] && [ -n "$(state)" ]; then
    echo "check_deb: purging $package to put the machine back" >&2
    run_dpkg --purge "$package" >/dev/null || echo "check_deb: could not purge $package; run: dpkg --purge $package" >&2
  fi
  rm -rf "$work"
}
trap restore EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

[ "$(id -u)" = 0 ] || die "dpkg -i needs root"
for tool in cmake cpack dpkg-deb dpkg-shlibdeps lintian help2man xdg-mime gio update-mime-database man python3; do
  command -v "$tool" >/dev/null || die "$tool is missing (see tools/test.sh's set-up)"
done
[ -f /usr/share/bash-completion/bash_completion ] || die "bash-completion is missing (see tools/test.sh's set-up)"

# ---- build: the shared image libraries, so that dpkg-shlibdeps finds them, and Debian's
# hardening flags (stack protector, fortified functions, read-only relocations) --------
if [ ! -f "$build/CMakeCache.txt" ]; then
  launcher=()
  command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  flags() { DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1"; }
  CFLAGS="$(flags CFLAGS) $(flags CPPFLAGS)" CXXFLAGS="$(flags CXXFLAGS) $(flags CPPFLAGS)" LDFLAGS=$(flags LDFLAGS) \
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKARVEX_STATIC_IMAGE_LIBS=OFF \
    "${launcher[@]}" >"$work/configure.log" 2>&1 || { cat "$work/configure.log" >&2; die "configure failed"; }
fi
cmake --build "$build" --target ekv ekv-make karvex_man_pages karvex_changelog >"$work/build.log" 2>&1 ||
  { tail -n 30 "$work/build.log" >&2; die "build failed"; }
rm -f "$build"/${package}_*.deb
(cd "$build" && cpack -G DEB >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log" >&2; die "cpack failed"; }
deb=$(ls "$build"/${package}_*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || die "cpack wrote no .deb"
echo "package: $deb"

# ---- the package itself ---------------------------------------------------------------
depends=$(dpkg-deb -f "$deb" Depends)
for library in libtiff libpng libjpeg liblcms2; do
  grep -q "$library" <<<"$depends" || fail "Depends lacks $library (dpkg-shlibdeps): $depends"
done
lintian --fail-on error "$deb" >"$work/lintian.txt" 2>&1 || fail "lintian reports errors: $(cat "$work/lintian.txt")"
grep -E '^[EW]:' "$work/lintian.txt" | sed 's/^/lintian: /'

# ---- before: nothing of the package may be on the machine ------------------------------
[ -z "$(state)" ] || [ "$(state)" = not-installed ] || die "$package is on this machine already ($(state)); this check would replace it"
dpkg-deb -c "$deb" | awk '{print $NF}' | sed 's|^\./|/|; s|/$||' | grep -v '^$' >"$work/contents"
: >"$work/dirs-before"
while read -r path; do
  if [ -d "$path" ]; then
    echo "$path" >>"$work/dirs-before"
  elif [ -e "$path" ] || [ -L "$path" ]; then
    die "$path exists already and is not the package's; this check would replace it"
  fi
done <"$work/contents"

# The MIME database as it is, to compare after the purge.
mime_database=(/usr/share/mime/mime.cache /usr/share/mime/types /usr/share/mime/globs2 /usr/share/mime/magic)
md5sum "${mime_database[@]}" >"$work/mime-before" 2>/dev/null || die "no shared-mime-info database in /usr/share/mime"

# Files of the file type checks: the EKV written by the packaged ekv-make, the same bytes
# as .bin (only the header can tell), the big-endian form, and a TIFF named .bin.
sample=$work/shot\ one.ekv
mkdir -p "$work/files"

# ---- install --------------------------------------------------------------------------
installed_by_us=1
# shellcheck disable=SC2086
run_dpkg -i ${CHECK_DEB_DPKG_OPTIONS:-} "$deb" >"$work/install.log" 2>&1 || { cat "$work/install.log" >&2; die "dpkg -i failed"; }
[ "$(state)" = installed ] || die "$package is not configured: $(state)"
pass "dpkg -i"

# Files the package holds but dpkg did not unpack: only those that dpkg's configuration
# (or CHECK_DEB_DPKG_OPTIONS) excludes, as minimal images exclude /usr/share/man and
# /usr/share/doc. dpkg matches the patterns as fnmatch does without FNM_PATHNAME: a *
# also matches slashes, as bash's [[ == ]] does.
dpkg_filters() { # path-exclude or path-include: the patterns of dpkg's configuration
  {
    cat /etc/dpkg/dpkg.cfg /etc/dpkg/dpkg.cfg.d/* 2>/dev/null
    tr ' ' '\n' <<<"${CHECK_DEB_DPKG_OPTIONS:-}" | sed 's/^--//'
  } | sed -n "s/^$1[= ][[:space:]]*//p"
}
mapfile -t excludes < <(dpkg_filters path-exclude)
mapfile -t includes < <(dpkg_filters path-include)
excluded_by_dpkg() {
  local pattern hit=1
  for pattern in "${excludes[@]}"; do [[ $1 == $pattern ]] && hit=0; done
  for pattern in "${includes[@]}"; do [[ $1 == $pattern ]] && hit=1; done
  return $hit
}
excluded_man=0
while read -r path; do
  [ -e "$path" ] && continue
  if ! excluded_by_dpkg "$path"; then
    fail "$path is in the package but was not installed"
  else
    echo "NOTE: dpkg's configuration excludes $path here: not installed"
    case $path in /usr/share/man/*) excluded_man=1 ;; esac
  fi
done < <(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $NF}' | sed 's|^\./|/|')
if [ "$excluded_man" = 1 ]; then
  echo "NOTE: so 'man -w ekv' cannot find the manual pages on this machine; they are checked from the package instead."
fi

# ---- the programs ---------------------------------------------------------------------
version=$(grep -m1 '^project(' "$root/CMakeLists.txt" | grep -oE 'VERSION [0-9.]+' | cut -d' ' -f2)
[ "$(command -v ekv)" = /usr/bin/ekv ] || fail "ekv on the PATH is $(command -v ekv), not /usr/bin/ekv"
[ "$(/usr/bin/ekv --version)" = "ekv $version" ] || fail "ekv --version: $(/usr/bin/ekv --version 2>&1)"
[ "$(/usr/bin/ekv-make --version)" = "ekv-make $version" ] || fail "ekv-make --version: $(/usr/bin/ekv-make --version 2>&1)"
/usr/bin/ekv-make sample -o "$sample" --width 264 --height 200 >/dev/null || fail "ekv-make sample"
/usr/bin/ekv-make sample -o "$work/files/big.bin" --width 264 --height 200 --big-endian >/dev/null ||
  fail "ekv-make --big-endian"
cp "$sample" "$work/files/little.bin"
/usr/bin/ekv convert "$sample" -m 2 -o "$work/files/developed.tif" 2>/dev/null || fail "ekv convert"
mv "$work/files/developed.tif" "$work/files/tiff.bin"
pass "ekv $version, ekv-make $version"

# ---- manual pages: found by man, and carrying the programs' --help --------------------
page_text() { # PROGRAM: the page as man renders it, from the system or else from the package
  if [ "$excluded_man" = 1 ]; then
    dpkg-deb --fsys-tarfile "$deb" | tar -xO "./usr/share/man/man1/$1.1.gz" | gzip -dc | MANWIDTH=80 man -l - 2>&1
  else
    MANWIDTH=80 man "$1" 2>&1
  fi
}
for program in ekv ekv-make; do
  if [ "$excluded_man" = 0 ]; then
    [ "$(man -w "$program" 2>&1)" = "/usr/share/man/man1/$program.1.gz" ] || fail "man -w $program: $(man -w "$program" 2>&1)"
    warnings=$(MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "/usr/share/man/man1/$program.1.gz" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man reports for $program(1): $warnings"
  fi
done
page=$(page_text ekv)
for command in convert info thumbnail preview dng about; do
  grep -q "^   ekv $command\$" <<<"$page" || fail "ekv(1) has no section for ekv $command"
done
grep -qF -- "-s, --size SIZE   write a PNG at most SIZE pixels wide and high" <<<"$page" ||
  fail "ekv(1) does not carry 'ekv thumbnail --help'"
grep -q -- "--pattern P" <<<"$(page_text ekv-make)" || fail "ekv-make(1) does not carry 'ekv-make --help'"
pass "manual pages"

# ---- the file type: by name and by header ---------------------------------------------
# xdg-mime asks the desktop's own tool; GNOME's (gio) reads the shared-mime-info
# database, as GNOME Files and the thumbnailers do.
mime() { XDG_CURRENT_DESKTOP=GNOME xdg-mime query filetype "$1" 2>&1; }
for file in "$sample" "$work/files/little.bin" "$work/files/big.bin"; do
  [ "$(mime "$file")" = image/x-karvex-ekv ] || fail "xdg-mime query filetype $(basename "$file"): $(mime "$file")"
done
[ "$(mime "$work/files/tiff.bin")" = image/tiff ] || fail "a TIFF named .bin reads as $(mime "$work/files/tiff.bin")"
pass "xdg-mime: image/x-karvex-ekv for .ekv and for both byte orders named .bin; a TIFF stays image/tiff"

# ---- the thumbnailer, run as a file manager runs it -----------------------------------
# The Exec line split into words and %i, %o, %s, %% substituted in each word (so a path
# with a space stays one argument), run without a shell, into an empty file made before,
# as GNOME's thumbnail factory does.
entry=/usr/share/thumbnailers/ekv.thumbnailer
exec_line=$(sed -n 's/^Exec=//p' "$entry")
try_exec=$(sed -n 's/^TryExec=//p' "$entry")
grep -q '^MimeType=.*image/x-karvex-ekv;' "$entry" || fail "$entry does not name image/x-karvex-ekv"
command -v "$try_exec" >/dev/null || fail "TryExec $try_exec is not found"
run_thumbnailer() { # INPUT OUTPUT SIZE
  local word argv=()
  read -ra words <<<"$exec_line"
  for word in "${words[@]}"; do
    word=${word//%%/$'\x01'}
    word=${word//%i/$1}
    word=${word//%o/$2}
    word=${word//%s/$3}
    argv+=("${word//$'\x01'/%}")
  done
  env -i PATH=/usr/bin:/bin HOME="$work" "${argv[@]}"
}
png_size() { python3 -c '
import struct, sys
d = open(sys.argv[1], "rb").read(24)
assert d[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
print(*struct.unpack(">II", d[16:24]))' "$1" 2>&1; }
for size in 128 256 512; do
  out=$work/thumb-$size.png
  : >"$out"
  run_thumbnailer "$sample" "$out" "$size" 2>"$work/thumb.err" || fail "thumbnailer, %s=$size: $(cat "$work/thumb.err")"
  expected="$size $((size * 3 / 4))"
  [ "$size" -le 320 ] || expected="320 240"
  [ "$(png_size "$out")" = "$expected" ] || fail "thumbnailer, %s=$size: PNG $(png_size "$out"), expected $expected"
done
out=$work/thumb-bin.png
run_thumbnailer "$work/files/big.bin" "$out" 128 2>"$work/thumb.err" || fail "thumbnailer on big.bin: $(cat "$work/thumb.err")"
[ "$(png_size "$out")" = "128 96" ] || fail "thumbnailer on big.bin: $(png_size "$out")"
pass "thumbnailer: PNGs of 128 x 96, 256 x 192 and 320 x 240 (not enlarged) from '$exec_line'"

# ---- bash completion ------------------------------------------------------------------
completion=$(cd "$work/files" && bash --norc --noprofile <<'EOF' 2>&1
source /usr/share/bash-completion/bash_completion
source /usr/share/bash-completion/completions/ekv
ask() {
  COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}; COMPREPLY=()
  if [ "$1" = ekv ]; then _ekv "$1" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  else _ekv_make "$1" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"; fi
  echo "$* => ${COMPREPLY[*]}"
}
touch shot.ekv out.tif out.png
ask ekv th
ask ekv thumbnail --si
ask ekv convert ''
ask ekv preview x -o ''
ask ekv-make sample --pat
EOF
)
for expected in "ekv th => thumbnail" "ekv thumbnail --si => --size" "ekv convert  => shot.ekv" \
  "ekv preview x -o  => out.png" "ekv-make sample --pat => --pattern"; do
  grep -qxF -- "$expected" <<<"$completion" || fail "completion: expected '$expected', got: $completion"
done
pass "bash completion"

# ---- removal and purge: nothing left --------------------------------------------------
dpkg-query -L "$package" | sort >"$work/listed"
run_dpkg -r "$package" >"$work/remove.log" 2>&1 || fail "dpkg -r: $(cat "$work/remove.log")"
run_dpkg --purge "$package" >>"$work/remove.log" 2>&1 || fail "dpkg --purge: $(cat "$work/remove.log")"
[ -n "$(state)" ] || installed_by_us=0
[ -z "$(state)" ] || [ "$(state)" = not-installed ] || fail "$package is still known to dpkg: $(state)"
while read -r path; do
  [ -n "$path" ] || continue
  if [ -d "$path" ] && ! [ -L "$path" ]; then
    grep -qxF -- "$path" "$work/dirs-before" || fail "the directory $path was left behind"
  elif [ -e "$path" ] || [ -L "$path" ]; then
    fail "$path was left behind"
  fi
done <"$work/listed"
[ ! -e /usr/share/mime/image/x-karvex-ekv.xml ] || fail "the MIME database still has image/x-karvex-ekv"
md5sum --quiet -c "$work/mime-before" >"$work/mime-after" 2>&1 ||
  fail "the MIME database differs from before the installation: $(cat "$work/mime-after")"
[ "$(mime "$work/files/little.bin")" != image/x-karvex-ekv ] || fail "xdg-mime still gives image/x-karvex-ekv"
man -w ekv >/dev/null 2>&1 && fail "man -w ekv still finds $(man -w ekv)"
pass "dpkg -r and --purge: none of the $(wc -l <"$work/listed") listed paths left, the MIME database updated back"

if [ "$failures" -gt 0 ]; then
  echo "check_deb: $failures check(s) failed" >&2
  exit 1
fi
echo "check_deb: all checks passed"
