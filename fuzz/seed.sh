#!/bin/sh
# Seeds both harnesses from examples/ and the kept regression inputs.
set -eu
out=$1
cd "$(dirname "$0")/.."
mkdir -p "$out/seeds-differential" "$out/seeds-dialogue" "$out/corpus-differential" "$out/corpus-dialogue"
for f in examples/*.vek; do
  name=$(basename "$f" .vek)
  # The differential harness: 65535 steps from position 0, registers and memory
  # cells 0, no keys, then the program.
  { printf '\377\377'; head -c 67 /dev/zero; cat "$f"; } > "$out/seeds-differential/$name"
  # The dialogue: the program's line, then keys.
  { cat "$f"; printf '\n34Hi\r'; } > "$out/seeds-dialogue/$name"
done
cp tests/regression/differential/* "$out/seeds-differential/"
cp tests/regression/dialogue/* "$out/seeds-dialogue/"
