"""Makes the built playground work offline once visited: puts the version in
the page's footer, and writes the service worker (sw.js) with the files it
keeps and a cache version made of the release's version and their contents,
so that any change replaces the cache.
    offline.py SITE VERSION"""
import hashlib
import json
import pathlib
import sys

site, version = pathlib.Path(sys.argv[1]), sys.argv[2]
index = site / "index.html"
index.write_text(index.read_text().replace("@VERSION@", version))
files = sorted(p.relative_to(site).as_posix() for p in site.rglob("*") if p.is_file() and p.name != "sw.js")
digest = hashlib.sha256()
for name in files:
    digest.update(name.encode() + b"\0" + (site / name).read_bytes())
worker = (pathlib.Path(__file__).parent / "sw.js").read_text()
worker = worker.replace('"@VERSION@"', json.dumps(f"{version}-{digest.hexdigest()[:16]}"))
worker = worker.replace('["@FILES@"]', json.dumps(["./", *files]))
(site / "sw.js").write_text(worker)
