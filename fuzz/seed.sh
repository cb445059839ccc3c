#!/bin/sh
# Seeds both harnesses from examples/ and the kept regression inputs.
set -eu
out=$1
cd "$(dirname "$0")/.."
mkdir -p "$out/seeds-run" "$out/seeds-dialogue" "$out/corpus-run" "$out/corpus-dialogue"
for f in examples/*.vek; do
  name=$(basename "$f" .vek)
  # The run harness: 65 zero bytes (registers, memory cells, no keys), then the program.
  { head -c 65 /dev/zero; cat "$f"; } > "$out/seeds-run/$name"
  # The dialogue: the program's line, then keys.
  { cat "$f"; printf '\n34Hi\r'; } > "$out/seeds-dialogue/$name"
done
cp tests/regression/run/* "$out/seeds-run/"
cp tests/regression/dialogue/* "$out/seeds-dialogue/"
