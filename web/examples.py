"""Writes examples.js for the page: each program in examples/ with its keys
(from examples.cases) and what it does (the table of examples/README.md, which
users read beside the programs). A program without a row, a row without a
program, or a case's keys that are not a string fail, naming them."""
import ast
import json
import pathlib
import re
import sys

root = pathlib.Path(sys.argv[1])
rows = re.findall(r"^\| `([^`]*)\.vek` \| ([^|]+) \|", (root / "README.md").read_text(), re.M)
about = dict(rows)
programs = sorted(root.glob("*.vek"))
names = [p.stem for p in programs]
if len(about) != len(rows) or sorted(about) != names:
    sys.exit(f"{root}/README.md: its table describes {', '.join(n for n, _ in rows)}; "
             f"the programs are {', '.join(names)}")
keys = {}
for name, value in re.findall(r"^\[example (\w+)\]\nkeys: (.*)$", (root / "examples.cases").read_text(), re.M):
    keys[name] = ast.literal_eval(value)
    if not isinstance(keys[name], str):
        sys.exit(f"{root}/examples.cases: the keys of {name} are not a string: {value}")
examples = [{"name": p.stem, "text": p.read_text(encoding="latin-1").strip(), "keys": keys.get(p.stem, ""),
             "about": about[p.stem].strip().replace("`", "")} for p in programs]
print("export const EXAMPLES = " + json.dumps(examples) + ";")
