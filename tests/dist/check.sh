#!/usr/bin/env bash
# Checks the release in dist/ as its users receive it: every artifact there
# and nothing else, and their checksums; each .deb (lintian, its fields, and
# unpacked into a scratch root: the man page renders, the binary passes the
# pipe cases and native code ran); each tarball and zip unpacked, its binary
# on the pipe cases (a tarball's README linking only to what it ships, a
# zip's text files with CR LF); the playground from
# disk and served, with the network cut; then make dist from a fresh clone
# in another folder, with another umask, time zone and locale, must give the
# same bytes. One line per check, a count at the end.
#   check.sh VERSION LINUX WINDOWS
# LINUX: DEBIAN_ARCH:PROCESSOR:QEMU:EMULATOR words (qemu-QEMU runs the
# processor's programs; no EMULATOR: they run here).
# WINDOWS: winBITS:WINE_LOADER words for the Windows programs this host runs.
set -uo pipefail
version=$1 linux=$2 windows=$3
cases=(tests/cases/*.cases examples/examples.cases)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
passed=0 failed=0

check() { # WHAT COMMAND...
  local what=$1
  shift
  if "$@" > "$scratch/log" 2>&1; then
    passed=$((passed + 1))
    echo "ok: $what"
  else
    failed=$((failed + 1))
    echo "FAILED: $what"
    tail -n 25 "$scratch/log" | sed 's/^/    /'
  fi
}

artifacts() {
  local want=(SHA256SUMS vek-playground.html "vek-$version-web.zip" "vek-$version-win32.zip" "vek-$version-win64.zip")
  for word in $linux; do
    IFS=: read -r arch processor _ <<< "$word"
    want+=("vek_${version}_$arch.deb" "vek-$version-linux-$processor.tar.gz")
  done
  diff <(printf '%s\n' "${want[@]}" | sort) <(ls dist)
}

sums() {
  local listed=0
  diff <(ls dist | grep -vx SHA256SUMS) <(sed 's/^[0-9a-f]*  //' dist/SHA256SUMS) || listed=1
  (cd dist && sha256sum --strict --quiet -c SHA256SUMS) && [ $listed = 0 ]
}

fields() { # DEB ARCH
  local name
  field() { dpkg-deb --field "$1" "$2"; }
  [ "$(field "$1" Package)" = vek ] && [ "$(field "$1" Version)" = "$version" ] &&
    [ "$(field "$1" Architecture)" = "$2" ] || return 1
  for name in Maintainer Installed-Size Section Priority; do
    [ -n "$(field "$1" $name)" ] || { echo "no $name"; return 1; }
  done
  # A short description and a long one.
  [ "$(field "$1" Description | wc -l)" -gt 2 ] || { echo "no long description"; return 1; }
  dpkg-deb --info "$1"
}

contents() { # ROOT
  local doc=$1/usr/share/doc/vek
  [ -x "$1/usr/bin/vek" ] && ls "$doc/changelog.gz" "$doc/README.md.gz" "$doc/examples/hello.vek" &&
    head -n 1 "$doc/copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/'
}

man_page() { # PAGE
  local warnings
  warnings=$(MANWIDTH=80 man --warnings -l "$1" 2>&1 > "$scratch/page") && [ -z "$warnings" ] &&
    grep -q "^vek $version " "$scratch/page" || { echo "$warnings"; return 1; }
}

runs() { # BINARY EMULATOR
  tests/run_cases.py --pipes-only ${2:+--run-with "$2"} "$1" "${cases[@]}"
}

# Native code ran: the run makes its generated code's pages executable, which
# refusing arguments, before any run, does not. Seen through qemu's
# system-call trace, for every processor alike.
native() { # BINARY QEMU
  local qemu=qemu-$2
  printf '!^\n' | setsid -w $qemu -strace "$1" 2>&1 > /dev/null | grep 'mprotect(.*PROT_EXEC' &&
    ! $qemu -strace "$1" x 2>&1 > /dev/null | grep 'PROT_EXEC' || { echo "no code made executable on a run"; false; }
}

has() { # FOLDER FILE...
  local folder=$1
  shift
  (cd "$folder" && ls "$@")
}

links() { # FOLDER: every link in FOLDER/README.md that is not a web address names a file there
  local target
  for target in $(grep -oE '\]\([^)#]+' "$1/README.md" | cut -c3-); do
    case $target in *://*) continue ;; esac
    [ -f "$1/$target" ] || { echo "README.md links to $target, which is not there"; return 1; }
  done
}

crlf() { # FILE...: every line end is CR LF
  python3 -c 'import sys
bare = [f for f in sys.argv[1:] if b"\n" in open(f, "rb").read().replace(b"\r\n", b"")]
sys.exit("a line end without CR: " + " ".join(bare) if bare else 0)' "$@"
}

reproduced() {
  local clone=$scratch/second\ clone
  git clone -q --no-hardlinks . "$clone" && git -C "$clone" log -1 --format='clone of %h' &&
    (cd "$clone" && umask 0002 && env -u MAKEFLAGS -u MAKELEVEL -u MFLAGS -u SOURCE_DATE_EPOCH \
      TZ=Pacific/Kiritimati LC_ALL=C.UTF-8 make dist JOBS="${JOBS:-2}" > "$scratch/second.log" 2>&1 ||
      { tail -n 20 "$scratch/second.log"; false; }) &&
    diff dist/SHA256SUMS "$clone/dist/SHA256SUMS"
}

check "dist/ holds every artifact of $version and nothing else" artifacts
check "SHA256SUMS covers them and holds" sums

for word in $linux; do
  IFS=: read -r arch processor qemu emulator <<< "$word"
  deb=dist/vek_${version}_$arch.deb root=$scratch/root-$arch
  check "$deb: lintian reports no error and no warning" lintian --fail-on error,warning --display-info "$deb"
  check "$deb: its fields" fields "$deb" "$arch"
  check "$deb: unpacks into a scratch root with the binary, the docs and the examples" \
    eval 'dpkg-deb -x "$deb" "$root" && contents "$root"'
  check "$deb: man -l renders its man page without warnings" man_page "$root/usr/share/man/man1/vek.1.gz"
  check "$deb: /usr/bin/vek passes the pipe cases${emulator:+ under $emulator}" runs "$root/usr/bin/vek" "$emulator"
  check "$deb: /usr/bin/vek runs native code" native "$root/usr/bin/vek" "$qemu"
  top=vek-$version-linux-$processor
  check "$top.tar.gz: unpacks with vek, vek.1, README.md, LICENSE and the examples" \
    eval 'mkdir "$scratch/$top" && tar -xzf "dist/$top.tar.gz" -C "$scratch/$top" &&
      has "$scratch/$top/$top" vek vek.1 README.md LICENSE examples/hello.vek'
  check "$top.tar.gz: its README.md links only to files it ships" links "$scratch/$top/$top"
  check "$top.tar.gz: vek passes the pipe cases${emulator:+ under $emulator}" runs "$scratch/$top/$top/vek" "$emulator"
done

for bits in 32 64; do
  top=vek-$version-win$bits
  check "$top.zip: unpacks with vek.exe, README.txt, LICENSE.txt and the examples" \
    eval 'python3 -m zipfile -e "dist/$top.zip" "$scratch/$top" &&
      has "$scratch/$top/$top" vek.exe README.txt LICENSE.txt examples/hello.vek'
  check "$top.zip: its text files have CR LF" \
    eval 'crlf "$scratch/$top/$top/README.txt" $(find "$scratch/$top/$top" -type f ! -name "*.exe")'
  loader=$(printf '%s\n' $windows | sed -n "s/^win$bits://p")
  if [ -n "$loader" ]; then
    check "$top.zip: vek.exe passes the pipe cases under wine" \
      tests/run_cases.py --pipes-only --crlf --run-with "$loader" "$scratch/$top/$top/vek.exe" "${cases[@]}"
  else
    echo "skipped: $top.zip: vek.exe not run: no wine loader for it here (this host runs no 32-bit x86 programs, or wine's 32-bit part could not be installed)"
  fi
done

web=vek-$version-web
check "vek-playground.html from disk with the network cut, and $web.zip served, then offline" \
  eval 'python3 -m zipfile -e "dist/$web.zip" "$scratch/web" &&
    node tests/web/offline.mjs dist/vek-playground.html "$scratch/web/$web"'

check "make dist from a fresh clone in another folder gives the same SHA256SUMS" reproduced

echo "dist-check: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
