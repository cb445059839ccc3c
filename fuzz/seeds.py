#!/usr/bin/env python3
"""Writes the fuzzing targets' seeds into DIR/run (the native and fast
targets' input: a start, registers, memory cells, keys and a program) and
DIR/dialogue (standard input).

Besides the examples, run seeds whose every jump has a target the native
driver's analysis knows (it compiles such a program with direct branches,
decides `=` once where c and d are known, and folds what it can): loops over
constants, long runs of output, jumps into the middle of runs, and targets
700 and out of range."""

import pathlib
import struct
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent


def set_a(target):
    """a = target without touching b: '$' and a run of '!' or '<'."""
    return "$" + ("!" * target if target >= 0 else "<" * -target)


def double_a(target):
    """a = target in fewer characters (b = a and d = c on the way): '%-' doubles."""
    shift = max(0, (target.bit_length() - 1) // 2)
    return "$" + "!" * (target >> shift) + "%-" * shift + "!" * (target - (target >> shift << shift))


def count_loop(body, exit_at=-1, back=0):
    """From 0: body, b += 1, then out to exit_at once b equals it, else back."""
    return body + "*" + set_a(exit_at) + "@=" + set_a(back) + "?"


def run_input(program, a=0, b=0, c=0, d=0, start=0, steps=0xFFFE, cells=(), keys=b""):
    """The run targets' format (fuzz/common.h)."""
    cells = list(cells) + [(0, 0)] * (8 - len(cells))
    data = struct.pack("<HH4i", steps, start, a, b, c, d)
    data += b"".join(struct.pack("<Hi", index, value) for index, value in cells)
    return data + bytes([len(keys)]) + keys + program.encode("latin-1")


# 0xFFFE steps: 4094 steps or 31 jumps, no breakpoints, no key hook, output buffered.
# steps % 5 == 0 flushes after every byte, % 3 == 0 sets breakpoints, odd
# steps the key hook; start // 701 > 0 begins with the output buffer nearly full.
RUNS = {
    "count-out-of-range": run_input(count_loop(":"), b=-30),
    "count-flush-each": run_input(count_loop(":"), b=-30, steps=0xFFFF - 15),
    "output-long": run_input(count_loop(".:" * 300), a=65, b=-30),
    "output-buffer-full": run_input(count_loop(":" * 100), b=-30, start=701 * 20),
    "output-keys": run_input(count_loop(",." * 20), b=-5, keys=b"keys typed " * 20, steps=0xFFFD),
    "count-breakpoints": run_input(count_loop(":"), b=-30, steps=0xFFF3),
    "middle-of-run": run_input(count_loop("!" * 10 + ".", back=5), b=-20),
    "start-in-run": run_input("!" * 10 + "*" * 10 + ".:", start=4),
    "equal-decided": run_input(set_a(30) + "{" + set_a(30) + "@=.:"),
    "equal-not-taken": run_input(set_a(3) + "@=" + "*" * 5 + ".:" + set_a(9) + "@=:"),
    "digits-known": run_input(set_a(42) + "@#.:$<<<<@#.:"),
    "jump-700": run_input("?", a=700),
    "equal-700": run_input("!=", a=699, c=5, d=5),
    "built-700": run_input(double_a(700) + "?" + "N" * 5),
    "jump-701": run_input(".?", a=701),
    "jump-negative": run_input("$<?N"),
    "jump-far": run_input("=N", a=0x7FFFFFFF, c=-1, d=-1),
    "jump-min": run_input("?N", a=-0x80000000),
    "forward-over-output": run_input(double_a(40) + "?" + "N" * 30 + ".:"),
    "store-load-known": run_input(set_a(7) + "(" + set_a(8) + ">(.", d=99),
}


def main():
    out = pathlib.Path(sys.argv[1])
    for fmt in ("run", "dialogue"):
        (out / fmt).mkdir(parents=True, exist_ok=True)
    for name, data in RUNS.items():
        (out / "run" / name).write_bytes(data)
    for example in sorted((ROOT / "examples").glob("*.vek")):
        text = example.read_bytes()
        (out / "run" / example.stem).write_bytes(run_input(text.decode("latin-1").strip()))
        # The example as typed, then keys: after its line, and on the same line.
        (out / "dialogue" / example.stem).write_bytes(text.rstrip() + b"\nab\r\n7")
        (out / "dialogue" / (example.stem + "-same-line")).write_bytes(b"  " + text.strip() + b" xy\nz")


if __name__ == "__main__":
    main()
