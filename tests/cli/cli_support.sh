# Shared by the command-line test scripts of tests/cli: failure counting and the
# expectation on a command's exit status and message. Sourced after `failures=0`.

fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# expect CODE PATTERN COMMAND...: the command exits with CODE and its stderr matches PATTERN.
# EXPECT_TIMEOUT (seconds, 0 for none) bounds a command that might never end.
expect() {
  local code=$1 pattern=$2; shift 2
  timeout "${EXPECT_TIMEOUT:-0}" "$@" >out.txt 2>err.txt
  local rc=$?
  [ "$rc" -eq "$code" ] || fail "'$*' exited $rc, expected $code ($(cat err.txt))"
  [ -z "$pattern" ] || grep -Eq -- "$pattern" err.txt || fail "'$*': stderr '$(cat err.txt)' does not match '$pattern'"
}

# no_temp_files [DIR]: no temporary output is left in DIR (default: here).
no_temp_files() {
  local left
  left=$(find "${1:-.}" -name '.*.tmp-*' | head -n 3)
  [ -z "$left" ] || fail "temporary files left behind: $left"
}
