#!/usr/bin/env bash
# Installs the Debian packages a job needs:
#   setup.sh main   the main job's: compiler, CMake, Ninja and the image and colour
#                   libraries that ekv, ekv-make and the sample are built with;
#   setup.sh test   those and everything the tests, the Windows builds and the
#                   benchmarks use; 32-bit Wine (i386) in a step of its own.
# Idempotent: when everything is present it only checks and says nothing.
#
# A package index that cannot be fetched (a mirror in mid-sync, a source that cannot be
# reached) does not stop it: `apt-get update` is tried a few times, then the set-up goes
# on with the indexes it has. It fails only when a package it needs cannot be installed,
# naming each such package with apt's error. The i386 packages are installed after the
# others: when they cannot be, the rest is in place and the 64-bit Windows suite runs;
# tools/wine32-status.sh then tells whether their absence matters on this kernel.
#
# KARVEX_SETUP_EXTRA_PACKAGES adds packages to the job's list (NAME:i386 ones to the
# i386 step), e.g. to try the set-up's failure paths with a package that cannot be had.
set -euo pipefail

job="${1:-test}"
main_packages=(
  cmake ninja-build g++ pkg-config python3
  libtiff-dev libpng-dev libjpeg62-turbo-dev liblcms2-dev
)
test_packages=(
  git binutils clang libclang-rt-14-dev clang-format
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libtiff-tools libpng-tools pngcheck time file zip unzip
  mingw-w64 g++-mingw-w64-i686-posix binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine64 xvfb xauth python3-pefile
  dcraw libraw-bin libimage-exiftool-perl darktable rawtherapee
  help2man man-db lintian dpkg-dev fakeroot
  shared-mime-info xdg-utils desktop-file-utils libglib2.0-bin bash-completion strace
)
i386_packages=()
case "$job" in
  main) packages=("${main_packages[@]}") ;;
  test)
    packages=("${main_packages[@]}" "${test_packages[@]}")
    i386_packages=(wine32:i386)
    ;;
  *)
    echo "usage: setup.sh [main|test]" >&2
    exit 2
    ;;
esac
for p in ${KARVEX_SETUP_EXTRA_PACKAGES:-}; do
  case "$p" in
    *:i386) i386_packages+=("$p") ;;
    *) packages+=("$p") ;;
  esac
done

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}
missing=()
for p in "${packages[@]}"; do installed "$p" || missing+=("$p"); done
missing_i386=()
for p in "${i386_packages[@]}"; do installed "$p" || missing_i386+=("$p"); done
[ ${#missing[@]} -eq 0 ] && [ ${#missing_i386[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
apt_options=(-o DPkg::Lock::Timeout=600 -o Acquire::Retries=3)
log="$(mktemp)"
trap 'rm -f "$log"' EXIT

# apt's own messages about a failed step: its errors and warnings, and the lines that
# name a package whose dependencies cannot be met.
apt_errors() {
  grep -E '^(E|W|Err):|: (Pre)?Depends:|: Conflicts:|: Breaks:|has no installation candidate' "$log" |
    sed 's/^/    /' || tail -n 5 "$log" | sed 's/^/    /'
}

if [ ${#missing_i386[@]} -gt 0 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi

echo "setup: installing ${missing[*]} ${missing_i386[*]}" >&2
attempt=1
until $SUDO apt-get "${apt_options[@]}" update -qq >"$log" 2>&1 &&
  ! grep -qE '^(E|W): (Failed to fetch|Some index files failed)' "$log"; do
  if [ $attempt -ge 3 ]; then
    echo "setup: WARNING: some package indexes could not be fetched; going on with those" \
      "that could (a package it needs that is missing from them fails below):" >&2
    apt_errors >&2
    break
  fi
  echo "setup: apt-get update failed (attempt $attempt of 3); trying again" >&2
  sleep $((attempt * 10))
  attempt=$((attempt + 1))
done

# Installs the packages in one transaction; when that fails, each on its own, so that one
# package that cannot be installed keeps out no other. Prints the ones that failed, with
# apt's error, and returns 1 if any did.
install_packages() {
  [ $# -eq 0 ] && return 0
  if $SUDO apt-get "${apt_options[@]}" install -y -qq --no-install-recommends "$@" >"$log" 2>&1; then
    return 0
  fi
  local failed=0 p
  for p in "$@"; do
    installed "$p" && continue
    if ! $SUDO apt-get "${apt_options[@]}" install -y -qq --no-install-recommends "$p" >"$log" 2>&1; then
      echo "setup: cannot install $p:" >&2
      apt_errors >&2
      failed=1
    fi
  done
  return $failed
}

status=0
if ! install_packages "${missing[@]}"; then
  echo "setup: FAILED: the packages above are needed and could not be installed" >&2
  status=1
fi
if ! install_packages "${missing_i386[@]}"; then
  echo "setup: WARNING: without the i386 packages above the 32-bit module cannot run under" \
    "Wine; everything else is installed (tools/wine32-status.sh tells whether this kernel" \
    "could run it)" >&2
fi
exit $status
