#!/usr/bin/env bash
# Runs tools/setup.sh as on a machine whose package mirror is in trouble, and checks that
# it goes on where it can and fails where it must. Needs root (it installs and removes
# the small package `hello`). The machine's apt configuration is left alone: apt is
# pointed (APT_CONFIG) at a private copy of the sources, with two broken ones added, and
# at private index lists, all removed on exit.
#   - an index whose file has the wrong size ("Mirror sync in progress?"), served locally;
#   - a source that cannot be reached.
# Checks: a job whose packages can be installed succeeds despite the broken indexes; a
# package that cannot be installed fails the set-up, named with apt's error, without
# keeping out the others; an i386 package that cannot be installed only warns.
# With a COMMAND, runs it in that broken environment instead of the checks, e.g.
#   KARVEX_SETUP_EXTRA_PACKAGES=hello bash tests/setup/failing_index_check.sh bash tools/main.sh
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
[ "$(id -u)" -eq 0 ] || { echo "failing_index_check: needs root" >&2; exit 2; }

work="$(mktemp -d)"
chmod 755 "$work" # apt fetches as its own user
server_pid=""
hello_before=0
dpkg-query -W -f='${Status}' hello 2>/dev/null | grep -q "install ok installed" && hello_before=1
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  if [ $hello_before -eq 0 ]; then
    apt-get -o DPkg::Lock::Timeout=600 purge -y -qq hello >/dev/null 2>&1 || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# A repository whose Release lists a Packages file of another size than the one served.
repo="$work/repo/dists/bookworm"
mkdir -p "$repo/main/binary-amd64"
printf 'Package: karvex-check\nVersion: 1\nArchitecture: all\n' >"$repo/main/binary-amd64/Packages"
{
  printf 'Suite: bookworm\nCodename: bookworm\nArchitectures: amd64\nComponents: main\n'
  printf 'Date: %s\nSHA256:\n' "$(date -u -R)"
  printf ' %s %d main/binary-amd64/Packages\n' "$(printf 'other' | sha256sum | cut -d' ' -f1)" 4096
} >"$repo/Release"
port_file="$work/port"
python3 - "$work/repo" "$port_file" <<'PY' &
import functools, http.server, sys
class Quiet(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass
handler = functools.partial(Quiet, directory=sys.argv[1])
server = http.server.HTTPServer(("127.0.0.1", 0), handler)
open(sys.argv[2] + ".tmp", "w").write(str(server.server_port))
__import__("os").rename(sys.argv[2] + ".tmp", sys.argv[2])
server.serve_forever()
PY
server_pid=$!
for _ in $(seq 100); do [ -s "$port_file" ] && break; python3 -c 'import time; time.sleep(0.05)'; done
port="$(cat "$port_file")"

mkdir -p "$work/sources.d" "$work/lists/partial"
cp /etc/apt/sources.list.d/*.sources /etc/apt/sources.list.d/*.list "$work/sources.d/" 2>/dev/null || true
cp /etc/apt/sources.list "$work/sources.list" 2>/dev/null || touch "$work/sources.list"
cat >"$work/sources.d/broken.list" <<LIST
deb [trusted=yes] http://127.0.0.1:$port bookworm main
deb [trusted=yes] http://127.0.0.2:9/unreachable bookworm main
LIST
cat >"$work/apt.conf" <<CONF
Dir::Etc::sourcelist "$work/sources.list";
Dir::Etc::sourceparts "$work/sources.d";
Dir::State::lists "$work/lists";
CONF
export APT_CONFIG="$work/apt.conf"

if [ $# -gt 0 ]; then
  "$@"
  exit
fi

failures=0
check() {
  local name="$1" expect_status="$2" extra="$3"
  shift 3
  local status=0
  KARVEX_SETUP_EXTRA_PACKAGES="$extra" bash "$root/tools/setup.sh" main >"$work/out" 2>&1 || status=$?
  local ok=1
  [ $status -eq "$expect_status" ] || ok=0
  for pattern in "$@"; do grep -qE "$pattern" "$work/out" || ok=0; done
  dpkg-query -W -f='${Status}' hello 2>/dev/null | grep -q "install ok installed" || ok=0
  if [ $ok -eq 1 ]; then
    echo "ok: $name"
  else
    echo "FAILED: $name (status $status, expected $expect_status); its output:"
    sed 's/^/  | /' "$work/out"
    failures=$((failures + 1))
  fi
  [ $hello_before -eq 1 ] || apt-get -o DPkg::Lock::Timeout=600 purge -y -qq hello >/dev/null 2>&1
}

check "broken indexes: the set-up goes on and installs what it can" 0 "hello" \
  'unexpected size' '127\.0\.0\.2:9' 'going on'
check "a package that cannot be installed fails, named, and keeps out no other" 1 \
  "karvex-no-such-package hello" 'cannot install karvex-no-such-package' \
  'Unable to locate package karvex-no-such-package' 'FAILED'
check "an i386 package that cannot be installed only warns" 0 \
  "karvex-no-such-package:i386 hello" 'cannot install karvex-no-such-package:i386' 'WARNING: without the i386'
[ $failures -eq 0 ] && echo "failing_index_check: all passed" || exit 1
