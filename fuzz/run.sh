#!/bin/sh
# Runs every fuzzing target of the build in BUILD (cmake --preset fuzz) in
# turn, each with the libFuzzer options given, seeded by fuzz/seeds.py and
# the kept inputs of its format, growing its corpus in BUILD/corpus/TARGET;
# what a target finds lands in BUILD/findings/TARGET/. With --keep, each
# finding is minimised into tests/regression/FORMAT/, where make test
# replays it. Prints each target's executions and executions a second; fails
# if any target found anything.
#
#   fuzz/run.sh [--keep] BUILD LIBFUZZER-OPTION...
set -eu
keep=no
if [ "$1" = --keep ]; then keep=yes; shift; fi
build=$1
shift
cd "$(dirname "$0")/.."
python3 fuzz/seeds.py "$build/seeds"
summary=""
failed=no
# One line per target, from fuzz/CMakeLists.txt: its name and its input's format.
while read -r target format; do
  mkdir -p "$build/corpus/$target" "$build/findings/$target"
  echo "fuzz: $target"
  status=0
  touch "$build/$target.started"
  # An input runs for milliseconds: 25 s is a hang (a bound not honoured).
  "$build/fuzz/fuzz_$target" -timeout=25 "$@" -print_final_stats=1 -artifact_prefix="$build/findings/$target/" \
      "$build/corpus/$target" "$build/seeds/$format" "tests/regression/$format" \
      2> "$build/$target.log" < /dev/null || status=$?
  grep -E '^(stat::|Done|==|SUMMARY|fuzz:|INFO: Running)' "$build/$target.log" | tail -n 12
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$build/$target.log")
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$build/$target.log")
  corpus=$(find "$build/corpus/$target" -type f | wc -l)
  summary="$summary$target: $runs executions, $speed a second, $corpus inputs in its corpus\n"
  if [ "$status" -ne 0 ]; then
    failed=yes
    summary="$summary$target: FOUND something, see $build/$target.log and $build/findings/$target/\n"
    if [ "$keep" = yes ]; then
      # What this run found, not what earlier runs left.
      find "$build/findings/$target" -type f -newer "$build/$target.started" | while read -r found; do
        kept="tests/regression/$format/$target-$(basename "$found")"
        "$build/fuzz/fuzz_$target" -minimize_crash=1 -runs=100000 -exact_artifact_path="$kept" \
            "$found" > /dev/null 2>&1 || true
        [ -s "$kept" ] || cp "$found" "$kept"
        echo "$target: kept $kept"
      done
    fi
  fi
done < "$build/fuzz/targets"
printf '%b' "$summary"
[ "$failed" = no ]
