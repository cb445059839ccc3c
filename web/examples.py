"""Writes examples.js for the page: each program in examples/ with its
keys (from examples.cases) and what it does (from the README's table)."""
import json
import pathlib
import re
import sys

root = pathlib.Path(sys.argv[1])
about = dict(re.findall(r"^\| `(\w+)\.vek` \| ([^|]+) \|", (root / "README.md").read_text(), re.M))
keys = dict(re.findall(r"^\[example (\w+)\]\nkeys: (.*)$", (root / "examples.cases").read_text(), re.M))
examples = [{"name": p.stem, "text": p.read_text(encoding="latin-1").strip(),
             "keys": eval(keys.get(p.stem, '""')), "about": about.get(p.stem, "").strip().replace("`", "")}
            for p in sorted(root.glob("*.vek"))]
print("export const EXAMPLES = " + json.dumps(examples) + ";")
