#!/bin/sh
# Seeds the harness from examples/: 65535 steps from position 0, registers and
# memory cells 0, no keys, then the program.
set -eu
mkdir -p "$1/seeds" "$1/corpus"
cd "$(dirname "$0")/.."
for f in examples/*.vek; do
  { printf '\377\377'; head -c 67 /dev/zero; cat "$f"; } > "$1/seeds/$(basename "$f" .vek)"
done
