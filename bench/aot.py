#!/usr/bin/env python3
"""Translates a VEK program to C ahead of time: one label per position and one
table of the 701 positions for ? and =. Compiled with gcc -O2, it shows how
fast a program can run at all; the benchmark measures the interpreter against it.
Keys come from standard input after the program's line, as without a terminal."""
import sys

BODY = {
    '!': 'a = (int32_t)((uint32_t)a + 1u);',
    '*': 'b = (int32_t)((uint32_t)b + 1u);',
    '<': 'a = (int32_t)((uint32_t)a - 1u);',
    ')': 'b = (int32_t)((uint32_t)b - 1u);',
    '@': 'c = a; d = b;',
    '&': 'a = c; b = d;',
    '%': 'b = a; d = c;',
    '{': 'tmp = a; a = b; b = tmp;',
    '}': 'tmp = c; c = d; d = tmp;',
    '.': 'putchar_unlocked((unsigned char)a);',
    ',': 'fflush(stdout); a = getchar();',
    ':': 'putchar_unlocked((unsigned char)b);',
    ';': 'fflush(stdout); b = getchar();',
    '#': 'mod = c % 10; b = mod + 48; a = (int32_t)((uint32_t)a - (uint32_t)mod) / 10 + 48;',
    'N': 'fputs("NULL\\n", stdout);',
    '$': 'a = 0;',
    '(': 'if ((uint32_t)a < 1025u) mem[a] = d;',
    '>': 'd = (uint32_t)a < 1025u ? mem[a] : 0;',
    '-': 'a = (int32_t)((uint32_t)a + (uint32_t)b);',
    '+': 'a = (int32_t)((uint32_t)a - (uint32_t)b);',
    '?': 'goto *T[(uint32_t)a <= 700u ? a : 700];',
    '=': 'if (c == d) goto *T[(uint32_t)a <= 700u ? a : 700];',
    '^': 'puts("STOP"); goto p700;',
}


def translate(text: bytes) -> str:
    text = text[:700].ljust(700, b'\0')
    out = ['#include <stdint.h>', '#include <stdio.h>',
           'static int32_t mem[1025];',
           'int main(void) {',
           '  int32_t a = 0, b = 0, c = 0, d = 0, tmp = 0, mod = 0;',
           '  static void *const T[701] = {' + ', '.join(f'&&p{p}' for p in range(701)) + '};',
           '  (void)tmp; (void)mod;']
    if b',' in text or b';' in text:  # keys start after the program's line
        out.append('  for (int ch = 0; ch != EOF && ch != 10;) ch = getchar();')
    for p, byte in enumerate(text):
        out.append(f'p{p}: {BODY.get(chr(byte), ";")}')
    out += ['p700:', '  (void)d; return 0;', '}']
    return '\n'.join(out) + '\n'


if __name__ == '__main__':
    with open(sys.argv[1], 'rb') as f:
        words = f.read().split()
    sys.stdout.write(translate(words[0] if words else b""))
