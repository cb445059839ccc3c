#!/usr/bin/env python3
"""Packs one version's release artifacts into dist/, the same bytes from any
folder at any time: every time stamp is SOURCE_DATE_EPOCH, every owner root,
members in name order, gzip without name or time.

  dist.py linux VERSION DEB_ARCH PROCESSOR STAGE  the .deb and the tarball
  dist.py windows VERSION BITS EXE                the Windows zip
  dist.py web VERSION SITE                        the playground's site
  dist.py sums                                    SHA256SUMS over dist/

STAGE is what `cmake --install --strip` put under a prefix: bin/vek and
share/man/man1/vek.1."""
import gzip
import hashlib
import io
import os
import pathlib
import re
import subprocess
import sys
import tarfile
import tempfile
import time
import zipfile

ROOT = pathlib.Path(__file__).resolve().parent.parent
PACKAGING = ROOT / "packaging"
DIST = pathlib.Path("dist")
EPOCH = int(os.environ["SOURCE_DATE_EPOCH"])


def examples():
    """The examples a user gets: the programs and what they do."""
    files = sorted((ROOT / "examples").glob("*.vek")) + [ROOT / "examples/README.md"]
    return {"examples/" + f.name: f.read_bytes() for f in files}


def readme(shipped):
    """The README users receive: the source's, up to the part that only the
    source has (its guides for maintainers). Every link left in it must lead
    to a file the artifact ships beside it (shipped: its names)."""
    text = (ROOT / "README.md").read_text()
    marker = "\n<!-- source only"
    if marker not in text:
        sys.exit("README.md: no '<!-- source only' line, where the release's copy ends")
    text = text[:text.index(marker)].rstrip("\n") + "\n"
    for target in re.findall(r"\]\(([^)#]+)(?:#[^)]*)?\)", text):
        if "://" not in target and target not in shipped:
            sys.exit(f"README.md: the release's copy links to {target}, which it does not ship")
    return text.encode()


def gz(data):
    return gzip.compress(data, compresslevel=9, mtime=0)


def crlf(data):
    return data.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")


def tar_gz(out, top, files):
    """files: name -> (bytes, mode)."""
    raw = io.BytesIO()
    with tarfile.open(fileobj=raw, mode="w", format=tarfile.GNU_FORMAT) as tar:
        dirs = sorted({top} | {f"{top}/{d}" for n in files for d in parents(n)})
        entries = [(d, None, 0o755) for d in dirs] + [(f"{top}/{n}", *files[n]) for n in files]
        for name, data, mode in sorted(entries):
            info = tarfile.TarInfo(name)
            info.mtime, info.mode, info.uid, info.gid = EPOCH, mode, 0, 0
            info.uname = info.gname = "root"
            if data is None:
                info.type = tarfile.DIRTYPE
                tar.addfile(info)
            else:
                info.size = len(data)
                tar.addfile(info, io.BytesIO(data))
    out.write_bytes(gz(raw.getvalue()))


def parents(name):
    parts = name.split("/")[:-1]
    return ["/".join(parts[: i + 1]) for i in range(len(parts))]


def zip_(out, top, files):
    """files: name -> (bytes, mode); stored as made on Unix, so modes hold."""
    stamp = time.gmtime(max(EPOCH, 315532800))[:6]  # zip has no time before 1980
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
        for name in sorted(files):
            data, mode = files[name]
            info = zipfile.ZipInfo(f"{top}/{name}", stamp)
            info.create_system, info.external_attr = 3, (0o100000 | mode) << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, data)


def changelog(version):
    text = (PACKAGING / "changelog").read_text()
    top = re.match(r"vek \(([^)]+)\)", text)
    if not top or top[1] != version:
        sys.exit(f"dist.py: packaging/changelog's newest entry is {top and top[1]!r}, "
                 f"the project's version {version!r}: add an entry for it")
    return text.encode()


def copyright_file():
    """Debian's machine-readable copyright: the header, then LICENSE's text."""
    license_text = (ROOT / "LICENSE").read_text().split("\n", 1)[1].strip("\n")
    body = "\n".join(" " + line if line.strip() else " ." for line in license_text.split("\n"))
    return ((PACKAGING / "copyright").read_text() + body + "\n").encode()


def depends(binary):
    """shlibs:Depends as dpkg-shlibdeps computes it (nothing for a static binary)."""
    with tempfile.TemporaryDirectory() as tmp:
        (pathlib.Path(tmp) / "debian").mkdir()
        (pathlib.Path(tmp) / "debian/control").write_text(
            "Source: vek\n\nPackage: vek\nArchitecture: any\n")
        out = subprocess.run(["dpkg-shlibdeps", "-O", str(binary.resolve())], cwd=tmp, check=True,
                             capture_output=True, text=True).stdout
    return re.sub(r"^shlibs:Depends=", "", out.strip())


def deb(version, arch, stage):
    doc = "usr/share/doc/vek/"
    files = {
        "usr/bin/vek": ((stage / "bin/vek").read_bytes(), 0o755),
        "usr/share/man/man1/vek.1.gz": (gz((stage / "share/man/man1/vek.1").read_bytes()), 0o644),
        doc + "copyright": (copyright_file(), 0o644),
        doc + "changelog.gz": (gz(changelog(version)), 0o644),
        "usr/share/lintian/overrides/vek": ((PACKAGING / "lintian-overrides").read_bytes(), 0o644),
    }
    files[doc + "README.md.gz"] = (gz(readme(set(examples()))), 0o644)
    for name, data in examples().items():  # small files stay uncompressed, as dh_compress does
        files[doc + name] = (data if len(data) <= 4096 else gz(data), 0o644)

    fields = (PACKAGING / "control").read_text()
    head, rest = fields.split("Section:", 1)
    # Installed-Size as dpkg-gencontrol counts it: KiB per file, rounded up, 1 per folder.
    folders = {d for n in files for d in parents(n)}
    size = sum(-(-len(data) // 1024) for data, _ in files.values()) + len(folders)
    dep = depends(stage / "bin/vek")
    control = (head.replace("Package: vek\n", f"Package: vek\nVersion: {version}\nArchitecture: {arch}\n")
               + f"Installed-Size: {size}\n" + (f"Depends: {dep}\n" if dep else "") + "Section:" + rest)
    md5sums = "".join(f"{hashlib.md5(files[n][0]).hexdigest()}  {n}\n" for n in sorted(files))

    with tempfile.TemporaryDirectory() as tmp:
        root = pathlib.Path(tmp) / "root"
        control_files = {"DEBIAN/control": (control.encode(), 0o644),
                         "DEBIAN/md5sums": (md5sums.encode(), 0o644)}
        for name, (data, mode) in {**files, **control_files}.items():
            path = root / name
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_bytes(data)
            path.chmod(mode)
        for path in [root, *root.rglob("*")]:
            if path.is_dir():
                path.chmod(0o755)
            os.utime(path, (EPOCH, EPOCH))
        out = DIST / f"vek_{version}_{arch}.deb"
        subprocess.run(["dpkg-deb", "--root-owner-group", "-Zxz", "--build", str(root), str(out)],
                       check=True, stdout=subprocess.DEVNULL)


def tarball(version, processor, stage):
    files = {"vek": ((stage / "bin/vek").read_bytes(), 0o755),
             "vek.1": ((stage / "share/man/man1/vek.1").read_bytes(), 0o644),
             "LICENSE": ((ROOT / "LICENSE").read_bytes(), 0o644)}
    files.update({n: (d, 0o644) for n, d in examples().items()})
    files["README.md"] = (readme(set(files)), 0o644)
    top = f"vek-{version}-linux-{processor}"
    tar_gz(DIST / f"{top}.tar.gz", top, files)


def windows(version, bits, exe):
    other = {"32": "64", "64": "32"}[bits]
    readme = (PACKAGING / "README.txt").read_text()
    readme = readme.replace("@VERSION@", version).replace("@BITS@", bits).replace("@OTHER@", other)
    files = {"vek.exe": (exe.read_bytes(), 0o755),
             "README.txt": (crlf(readme.encode()), 0o644),
             "LICENSE.txt": (crlf((ROOT / "LICENSE").read_bytes()), 0o644)}
    files.update({n: (crlf(d), 0o644) for n, d in examples().items()})
    top = f"vek-{version}-win{bits}"
    zip_(DIST / f"{top}.zip", top, files)


def web(version, site):
    files = {p.relative_to(site).as_posix(): (p.read_bytes(), 0o644)
             for p in site.rglob("*") if p.is_file()}
    top = f"vek-{version}-web"
    zip_(DIST / f"{top}.zip", top, files)


def sums():
    lines = [f"{hashlib.sha256(p.read_bytes()).hexdigest()}  {p.name}\n"
             for p in sorted(DIST.iterdir()) if p.name != "SHA256SUMS"]
    (DIST / "SHA256SUMS").write_text("".join(lines))


def main(what, *args):
    DIST.mkdir(exist_ok=True)
    if what == "linux":
        version, arch, processor, stage = args
        deb(version, arch, pathlib.Path(stage))
        tarball(version, processor, pathlib.Path(stage))
    elif what == "windows":
        windows(args[0], args[1], pathlib.Path(args[2]))
    elif what == "web":
        web(args[0], pathlib.Path(args[1]))
    elif what == "sums":
        sums()
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(*sys.argv[1:])
