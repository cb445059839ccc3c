#!/usr/bin/env bash
# Checks the Windows builds. The 64-bit vek.exe runs under wine with no
# terminal (program and keys on standard input) and must write exactly what
# the Linux build writes, with each line end as CR LF (standard output is a
# text stream there). The 32-bit vek.exe cannot run on these machines: it is
# checked to be a PE32 console program that needs only the system's DLLs.
set -uo pipefail
cd "$(dirname "$0")/../.."

linux=build/dev/vek
win64=build/win64/vek.exe
win32=build/win32/vek.exe
wine=${WINE:-/usr/lib/wine/wine64}
export WINEDEBUG=-all WINEPREFIX=${WINEPREFIX:-$PWD/build/wine-prefix}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

passed=0
failed=0
check() {  # name, then whether it held
  if [ "$2" = 0 ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $1"
  fi
}

# Standard input of each case.
for f in examples/*.vek; do
  { cat "$f"; printf '\n34Hi there\r'; } > "$work/example-$(basename "$f" .vek)"
done
printf '' > "$work/empty"
printf 'N^\n' > "$work/null-stop"
printf ',.,.^ zz\nkq' > "$work/rest-of-line-dropped"
printf ',@#.:^' > "$work/key-at-end-of-input"
head -c 5000 /dev/zero | tr '\0' '!' > "$work/overlong-word"
printf 'N\n' >> "$work/overlong-word"
perl -e 'print map { chr } grep { !/[ \t\n\r\x0b\x0c]/ } map { chr } 0..255; print "\n"' \
  > "$work/every-byte"

"$wine" wineboot -i > /dev/null 2>&1 || true  # a fresh prefix, once
for input in "$work"/*; do
  [ -f "$input" ] || continue
  name=$(basename "$input")
  setsid "$linux" < "$input" 2> /dev/null | perl -pe 's/\n/\r\n/g' > "$work/want.out"
  setsid timeout 60 "$wine" "$win64" < "$input" > "$work/got.out" 2> /dev/null
  status=$?
  cmp -s "$work/want.out" "$work/got.out" && [ $status = 0 ]
  check "$name (status $status)" $?
done
setsid timeout 60 "$wine" "$win64" x < /dev/null > "$work/got.out" 2> /dev/null
printf 'The Original VEK Interpreter does not support command line parameters.\r\n' |
  cmp -s - "$work/got.out"
check "argument refused" $?

file "$win32" | grep -q 'PE32 executable (console) Intel 80386'
check "32-bit console executable" $?
file "$win64" | grep -q 'PE32+ executable (console) x86-64'
check "64-bit console executable" $?
for exe in "$win32" "$win64"; do
  others=$(objdump -p "$exe" | sed -n 's/.*DLL Name: //p' | grep -viE '^(kernel32|msvcrt)\.dll$')
  [ -z "$others" ]
  check "$exe needs only system DLLs (extra: ${others:-none})" $?
done

echo "windows: $passed passed, $failed failed"
[ "$failed" = 0 ]
