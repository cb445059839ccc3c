#!/usr/bin/env bash
# Whether this host starts 32-bit x86 programs: prints yes or no, and one
# line on standard error saying so and what follows from it. Some kernels
# (built without IA-32 support or booted with ia32_emulation=0), some
# container runtimes and WSL 1 refuse them; there the i686 build runs under
# qemu-i386, and the 32-bit Windows program is checked but not run, since
# Debian's 32-bit wine loader is itself such a program. The answer comes from
# starting a tiny static i686 program, not from the kernel's configuration.
# VEK_NO_I686=1 answers no, to take that path on purpose.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh "to ask whether this host runs 32-bit x86 programs" g++-i686-linux-gnu >&2
probe=build/host-i686/probe
if [ ! -x "$probe" ]; then
  mkdir -p "$(dirname "$probe")"
  echo 'int main(void) { return 0; }' | i686-linux-gnu-gcc -static -x c -o "$probe" -
fi
if [ -n "${VEK_NO_I686:-}" ]; then
  why="VEK_NO_I686 is set"
elif why=$("$probe" 2>&1); then
  echo "vek: this host runs 32-bit x86 programs: the i686 build and the 32-bit Windows program run natively" >&2
  echo yes
  exit 0
else
  why=${why##*: }  # the shell's reason, e.g. "Exec format error"
fi
echo "vek: this host runs no 32-bit x86 programs ($why): the i686 build runs under qemu-i386; the 32-bit Windows program is checked but not run" >&2
echo no
