#!/usr/bin/env python3
"""The instruction set for what is not C++: interpreter/instructions.h says what
each instruction is (character, name, kind, effect in C++), and
interpreter/instructions.tsv how it is described (character, effect, example,
in the order the documents list them).

  instructions.py ROOT check   fails unless the two list the same characters,
                               each once, and README.md's and the manual
                               page's (vek.1.in) instruction tables and the
                               count above README.md's are exactly what the
                               descriptions give
  instructions.py ROOT write   rewrites those tables and that count from the
                               descriptions
  instructions.py ROOT js      the check, then the page's instruction table
                               (instructions.js): each instruction's character,
                               name and kind, with its effect and example
Every line of the table and of the descriptions must read as an entry; anything
else fails, naming it."""
import json
import pathlib
import re
import sys

root = pathlib.Path(sys.argv[1])
HEADER = "char\teffect\texample"
README_HEAD = ["| char | effect | example (from all-zero registers unless said) |", "|---|---|---|"]
COUNT = re.compile(r"one of these (\d+) characters")
MANUAL = re.compile(r"(\.SH INSTRUCTIONS\n\.TS\nl l\.\n)(.*?\n)(\.TE\n)", re.S)


def fail(where, why):
    sys.exit(f"{where}: {why}")


def table():
    """(character, name, kind) of each instruction, in the table's order."""
    path = "interpreter/instructions.h"
    header = (root / path).read_text()
    kinds = re.search(r"enum class Kind[^{]*\{([^}]*)\}", header).group(1).replace(" ", "").split(",")
    found = []
    for macro in ("VEK_INSTRUCTIONS", "VEK_CONTROL"):
        start = header.index(f"#define {macro}(X)")
        lines = header[start:].split("\n")[1:]
        for line in lines:
            m = re.fullmatch(r"  X\('(.)', (\w+), (\w+), .*\)\s*(/\*.*\*/)?\s*\\?", line)
            if not m:
                fail(path, f"not an entry of {macro}: {line!r}")
            if m.group(3) not in kinds:
                fail(path, f"{m.group(1)}: no kind {m.group(3)} (kinds: {', '.join(kinds)})")
            found.append(m.groups()[:3])
            if not line.endswith("\\"):
                break
    chars = [ch for ch, _, _ in found]
    if len(set(chars)) != len(chars):
        fail(path, f"a character listed twice: {chars}")
    return found


def descriptions():
    """(character, effect, example) of each instruction, in the documents' order;
    effect and example in Markdown (`code`, **bold**)."""
    path = "interpreter/instructions.tsv"
    lines = (root / path).read_text().split("\n")
    if lines[0] != HEADER or lines[-1] != "":
        fail(path, f"the first line must be {HEADER!r} and the last end with a line end")
    rows = []
    for number, line in enumerate(lines[1:-1], 2):
        fields = line.split("\t")
        if len(fields) != 3 or len(fields[0]) != 1 or not all(f.strip() == f != "" for f in fields) \
                or any("|" in f for f in fields[1:]):
            fail(f"{path}:{number}", f"not a character, an effect and an example, tab-separated, "
                                     f"with no | and no blank at either end: {line!r}")
        rows.append(tuple(fields))
    chars = [ch for ch, _, _ in rows]
    if len(set(chars)) != len(chars):
        fail(path, f"a character described twice: {''.join(chars)}")
    listed = [ch for ch, _, _ in table()]
    if sorted(chars) != sorted(listed):
        fail(path, f"describes {''.join(chars)}; interpreter/instructions.h lists {''.join(listed)}")
    return rows


plain = lambda text: re.sub(r"\*\*(.+?)\*\*", r"\1", text).replace("`", "")


def troff(text):
    """A table cell in the manual page: minus signs as such, and no leading
    character that tbl or troff would take as a command (. ' = _)."""
    text = text.replace("\\", "\\e").replace("-", "\\-")
    return "\\&" + text if text[:1] in ".'=_" else text


def readme_table(rows):
    return README_HEAD + [f"| `{ch}` | {effect} | {example} |" for ch, effect, example in rows]


def manual_table(rows):
    return "".join(f"{troff(ch)}\t{troff(plain(effect))}\n" for ch, effect, _ in rows)


def readme_section(text):
    """The start and end of README.md's instruction reference, and of the table in it."""
    start = text.find("\n## Instruction reference\n")
    if start < 0:
        fail("README.md", "no section '## Instruction reference'")
    end = text.find("\n## ", start + 1)
    end = len(text) if end < 0 else end
    lines = text[start:end].split("\n")
    first = next((i for i, line in enumerate(lines) if line.startswith("|")), None)
    if first is None:
        fail("README.md", "no table under '## Instruction reference'")
    last = first
    while last < len(lines) and lines[last].startswith("|"):
        last += 1
    return start, end, lines, first, last


def check(write=False):
    rows = descriptions()
    hint = " (tools/instructions.py . write makes it so)"
    text = (root / "README.md").read_text()
    start, end, lines, first, last = readme_section(text)
    section = "\n".join(lines)
    count = COUNT.search(section)
    manual = (root / "vek.1.in").read_text()
    body = MANUAL.search(manual)
    if not count:
        fail("README.md", "the instruction reference does not say 'one of these N characters'")
    if not body:
        fail("vek.1.in", "no table under .SH INSTRUCTIONS")
    if write:
        lines[first:last] = readme_table(rows)
        section = COUNT.sub(f"one of these {len(rows)} characters", "\n".join(lines), count=1)
        (root / "README.md").write_text(text[:start] + section + text[end:])
        (root / "vek.1.in").write_text(manual[:body.start(2)] + manual_table(rows) + manual[body.end(2):])
        return rows
    if lines[first:last] != readme_table(rows):
        fail("README.md", "the instruction table is not what interpreter/instructions.tsv gives" + hint)
    if int(count.group(1)) != len(rows):
        fail("README.md", f"says there are {count.group(1)} instruction characters; there are "
                          f"{len(rows)}" + hint)
    if body.group(2) != manual_table(rows):
        fail("vek.1.in", "the instruction table is not what interpreter/instructions.tsv gives" + hint)
    return rows


if sys.argv[2:] == ["check"]:
    check()
elif sys.argv[2:] == ["write"]:
    check(write=True)
elif sys.argv[2:] == ["js"]:
    described = {ch: (effect, example) for ch, effect, example in check()}
    out = [{"char": ch, "name": name, "kind": kind.lower(), "effect": plain(described[ch][0]),
            "example": plain(described[ch][1])} for ch, name, kind in table()]
    print("// Generated by tools/instructions.py from interpreter/instructions.h and instructions.tsv.")
    print("export const INSTRUCTIONS = " + json.dumps(out) + ";")
else:
    sys.exit(__doc__)
