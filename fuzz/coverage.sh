#!/bin/sh
# Source coverage (clang's) of what the fuzzing corpora run: each target's
# replay, built with coverage in COVERAGE, runs the corpus grown in FUZZ
# (make fuzz or make fuzz-campaign), the seeds and the kept inputs; then the
# figures for each file of the product, and the lines of the native driver
# that no input reached (COVERAGE/driver.txt shows every line's count).
#
#   fuzz/coverage.sh COVERAGE FUZZ
set -eu
coverage=$1
fuzz=$2
cd "$(dirname "$0")/.."
python3 fuzz/seeds.py "$fuzz/seeds"
rm -f "$coverage"/*.profraw
objects=""
while read -r target format; do
  replay="$coverage/fuzz/replay_${target}_product"
  mkdir -p "$fuzz/corpus/$target"
  find "$fuzz/corpus/$target" "$fuzz/seeds/$format" "tests/regression/$format" -type f -print0 |
    LLVM_PROFILE_FILE="$coverage/$target-%p.profraw" xargs -0 "$replay" > /dev/null
  objects="${objects:+$objects -object }$replay"
done < "$fuzz/fuzz/targets"
llvm-profdata merge -sparse "$coverage"/*.profraw -o "$coverage/all.profdata"
# The build records paths from the top of the tree.
here=$(pwd)
# shellcheck disable=SC2086  # one word per option
llvm-cov report -instr-profile="$coverage/all.profdata" -compilation-dir="$here" $objects \
    "$here/interpreter" "$here/console" "$here/dialogue" "$here/native" 2> /dev/null
# shellcheck disable=SC2086
llvm-cov show -instr-profile="$coverage/all.profdata" -compilation-dir="$here" $objects \
    "$here/native/driver.cpp" > "$coverage/driver.txt" 2> /dev/null
echo "native/driver.cpp, lines no input reached:"
grep -E '^ +[0-9]+\| +0\|' "$coverage/driver.txt" || echo "  none"
