#!/usr/bin/env bash
# Installs whichever of the named Debian packages are missing (as root, or
# through sudo). Called by the Makefile's targets, so that each does its own
# set-up on a fresh machine.
set -euo pipefail
missing=()
for p in "$@"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=
[ "$(id -u)" -eq 0 ] || sudo=sudo
if ! command -v apt-get > /dev/null; then
  echo "missing packages, and no apt-get to install them: ${missing[*]}" >&2
  exit 1
fi
echo "installing ${missing[*]}"
# Packages of another architecture (wine32:i386) need it added first.
for arch in $(printf '%s\n' "${missing[@]}" | sed -n 's/.*:\(.*\)/\1/p' | sort -u); do
  dpkg --print-foreign-architectures | grep -qx "$arch" || $sudo dpkg --add-architecture "$arch"
done
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
