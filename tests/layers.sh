#!/usr/bin/env bash
# The layer check fails where it should: on testdata/layers, a small tree with a deliberate
# upward include, an include from a folder outside the house and an allowed header nobody
# includes any more, it names each file and line; the same tree with those lines removed passes;
# a layers.txt that is wrong itself stops the check with exit code 2.
#
#   tests/layers.sh SOURCE-DIR
set -u
src=$(realpath -- "${1:-$(dirname -- "$0")/..}")
check=$src/scripts/check_layers.py
fixture=$src/testdata/layers
work=$(mktemp -d "${TMPDIR:-/tmp}/newsclass-layers.XXXXXX")
trap 'rm -rf -- "$work"' EXIT
failed=0
case_failed=0
fail() { echo "FAIL $*"; failed=1; case_failed=1; }

# expect NAME CODE EXPECTED-OUTPUT-FILE ROOT: the check on ROOT exits CODE and prints exactly
# EXPECTED-OUTPUT-FILE (standard output and standard error together).
expect() {
  local name=$1 code=$2 expected=$3 root=$4 rc=0
  case_failed=0
  python3 "$check" "$root" > "$work/out" 2>&1 || rc=$?
  [[ $rc == "$code" ]] || fail "$name: exit code $rc, expected $code"
  if ! diff -u "$expected" "$work/out" > "$work/diff"; then
    fail "$name: output differs:"
    cat "$work/diff"
  fi
  [[ $case_failed == 1 ]] || echo "ok $name"
}

cat > "$work/expected-upward" <<'OUT'
ground/spaced.cc:3: includes top/app.h from a higher floor (top is above ground)
middle/stage.cc:6: includes top/app.h from a higher floor (top is above middle)
side/other.h:2: includes helpers/fake.h from helpers/, which layers.txt does not list
layers.txt:7: top/unused.h is allowed but no production file includes it from below; drop the line
OUT
expect upward 1 "$work/expected-upward" "$fixture"

# The same tree without the faulty lines: the same-floor, downward, allowed and test includes
# that remain all pass.
cp -r "$fixture" "$work/clean"
sed -i '/top\/app.h/d' "$work/clean/ground/spaced.cc" "$work/clean/middle/stage.cc"
sed -i '/helpers\/fake.h/d' "$work/clean/side/other.h"
sed -i '/top\/unused.h/d' "$work/clean/layers.txt"
: > "$work/expected-clean"
expect clean 0 "$work/expected-clean" "$work/clean"

# Without the allowance, the facade include is an upward one like any other.
cp -r "$work/clean" "$work/strict"
sed -i '/^allow top\/facade.h/d' "$work/strict/layers.txt"
echo "middle/stage.cc:4: includes top/facade.h from a higher floor (top is above middle)" \
  > "$work/expected-strict"
expect strict 1 "$work/expected-strict" "$work/strict"

# An allowance without a reason is refused before any file is read.
cp -r "$work/clean" "$work/reasonless"
echo "allow top/app.h" >> "$work/reasonless/layers.txt"
echo "check_layers: $work/reasonless/layers.txt:7: an allowed header needs a reason after ':'" \
  > "$work/expected-reasonless"
expect reasonless 2 "$work/expected-reasonless" "$work/reasonless"

exit $failed
