#!/usr/bin/env python3
"""Translates a VEK program to C++ ahead of time: one label per position and
one table of the 701 positions for ? and =. Each position's code is its
character's effect as interpreter/instructions.h states it, so compiled with
-O2 it shows how fast a program can run at all; the benchmark measures the
interpreter against it. Output goes through the console's own buffer; keys
come from standard input after the program's line, as without a terminal.
Compile it with the project's root on the include path."""
import sys

HEAD = r'''#include <cstdio>

#include "interpreter/instructions.h"

std::int32_t mem[kMemCells];

void console::Flush() {
  std::fwrite(out.buf, 1, out.len, stdout);
  out.len = 0;
}
void console::PutLine(const char* text) {
  while (*text != 0) PutChar(*text++);
  PutChar('\n');
}
int console::ReadKey() {
  Flush();
  std::fflush(stdout);
  return std::getchar();
}

#define CASE(ch, name, kind, effect) case ch: { effect; } break;
#define AT(byte) switch (byte) { VEK_INSTRUCTIONS(CASE) VEK_CONTROL(CASE) default: break; }
#define JUMP(target) { const std::int32_t to = (target); goto *T[static_cast<std::uint32_t>(to) <= 700u ? to : 700]; }
#define STOP() goto p700

int main() {
  std::int32_t a = 0, b = 0, c = 0, d = 0, tmp = 0;
  for (int ch = 0; ch != EOF && ch != '\n';) ch = std::getchar();  // keys start after the program's line
'''


def translate(text: bytes) -> str:
    text = text[:700].ljust(700, b'\0')
    out = [HEAD + '  static void* const T[701] = {' + ', '.join(f'&&p{p}' for p in range(701)) + '};']
    out += [f'p{p}: AT({byte})' for p, byte in enumerate(text)]
    out += ['p700:', '  console::Flush();', '  (void)tmp;', '  return 0;', '}']
    return '\n'.join(out) + '\n'


if __name__ == '__main__':
    with open(sys.argv[1], 'rb') as f:
        words = f.read().split()
    sys.stdout.write(translate(words[0] if words else b""))
