// Standard input: the program text, and the keys when there is no console.
#include "console/console.h"
#include "console/platform.h"

namespace console {
namespace {

// Standard input is read in blocks, so on a terminal the whole line that
// carried the program text is taken at once and its rest never reaches the
// console's key reads.
char in_buf[4096];
std::size_t in_pos = 0;
std::size_t in_len = 0;
bool in_end = false;
bool line_open = false;  // the program text's line has unread bytes

int NextByte() {
  if (in_pos == in_len) {
    if (in_end) return -1;
    in_len = platform::ReadIn(in_buf, sizeof in_buf);
    in_pos = 0;
    if (in_len == 0) {
      in_end = true;
      return -1;
    }
  }
  return static_cast<unsigned char>(in_buf[in_pos++]);
}

bool IsSpace(int ch) {
  return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r' || ch == '\v' || ch == '\f';
}

}  // namespace

std::size_t ReadWord(char* word, std::size_t cap) {
  Flush();
  int ch = NextByte();
  while (IsSpace(ch)) ch = NextByte();
  std::size_t len = 0;
  bool dropped = false;
  for (; ch != -1 && !IsSpace(ch); ch = NextByte()) {
    if (len < cap) {
      word[len++] = static_cast<char>(ch);
    } else {
      dropped = true;
    }
  }
  line_open = ch != -1 && ch != '\n';
  if (dropped)
    platform::WriteErr("vek: program text longer than 700 characters; ran the first 700\n");
  return len;
}

void Reset() {
  in_pos = in_len = 0;
  in_end = line_open = false;
  out.len.store(0, std::memory_order_relaxed);
  out.sent.store(0, std::memory_order_relaxed);
}

int ReadKey() {
  Flush();
  if (platform::HasKeyboard()) return platform::ReadKeyboard();
  // No console: keys are the bytes of standard input after the program's line.
  int ch = 0;
  while (line_open && ch != '\n' && ch != -1) ch = NextByte();
  line_open = false;
  return NextByte();
}

}  // namespace console
