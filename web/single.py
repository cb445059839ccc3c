"""Makes the playground one self-contained HTML file that works opened from
disk (file://), with no server and no network: the style, the interpreter
with its WebAssembly (base64), and the page's modules bundled into one
(esbuild) go inline. Service worker and manifest stay out: from disk there
is nothing to keep offline.
    single.py SITE OUT.html"""
import base64
import pathlib
import re
import subprocess
import sys

site, out = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])


def inline(text):
    return text.replace("</script", "<\\/script").replace("</style", "<\\/style")


page = (site / "index.html").read_text()
modules = subprocess.run(["esbuild", str(site / "main.js"), "--bundle", "--format=esm", "--log-level=warning"],
                         check=True, capture_output=True, text=True).stdout
wasm = base64.b64encode((site / "vek.wasm").read_bytes()).decode()
# The interpreter's loader gets its WebAssembly from here instead of fetching vek.wasm.
loader = (site / "vek.js").read_text() + (
    "\ncreateVek = ((make, wasm) => (options = {}) => make({ ...options, wasmBinary:"
    " Uint8Array.from(atob(wasm), (c) => c.charCodeAt(0)) }))(createVek, \"" + wasm + "\");\n")
replacements = [
    (r'<link rel="stylesheet" href="style.css">', "<style>\n" + inline((site / "style.css").read_text()) + "</style>"),
    (r'<link rel="icon" href="icon.svg">', '<link rel="icon" href="data:image/svg+xml;base64,'
     + base64.b64encode((site / "icon.svg").read_bytes()).decode() + '">'),
    (r'<link rel="manifest" href="manifest.webmanifest">\n', ""),
    (r'<script>\n[^<]*serviceWorker[^<]*</script>\n', ""),
    (r'<script src="vek.js"></script>', "<script>\n" + inline(loader) + "</script>"),
    (r'<script type="module" src="main.js"></script>', '<script type="module">\n' + inline(modules) + "</script>"),
]
for pattern, text in replacements:
    page, n = re.subn(pattern, lambda _: text, page)
    if n != 1:
        sys.exit(f"single.py: index.html has no {pattern!r} to replace")
out.write_text(page)
