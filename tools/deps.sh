#!/usr/bin/env bash
# Installs whichever of the named Debian packages are missing, as root or
# through sudo: one line says what and why, the package manager's own output
# goes to build/deps.log. Without root or sudo it says what to run as root.
#   deps.sh WHY PACKAGE...
set -euo pipefail
why=$1
shift
missing=()
for p in "$@"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
# Packages of another architecture (wine32:i386) need it added first.
arches=$(printf '%s\n' "${missing[@]}" | sed -n 's/.*:\(.*\)/\1/p' | sort -u)
steps=""
for arch in $arches; do
  dpkg --print-foreign-architectures | grep -qx "$arch" || steps+="dpkg --add-architecture $arch && "
done
# An index that cannot be fetched (a mirror in the middle of a sync) leaves
# the others usable: the install says whether they were enough.
steps+="{ apt-get update || echo 'deps.sh: going on with the package lists there are'; } && "
steps+="DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  run=(sh -c "$steps")
elif command -v sudo > /dev/null; then
  run=(sudo sh -c "$steps")
else
  echo "vek: ${missing[*]} must be installed $why, which takes root; as root, run: $steps" >&2
  exit 1
fi
mkdir -p build
log=build/deps.log
echo "installing ${missing[*]} $why (log: $log)"
# A mirror in the middle of a sync fails an update for a minute or so: try
# again after a pause before giving up.
for attempt in 1 2 3; do
  "${run[@]}" >> "$log" 2>&1 && exit 0
  [ "$attempt" -eq 3 ] || sleep $((attempt * 30))
done
echo "vek: installing ${missing[*]} failed; see $log" >&2
exit 1
