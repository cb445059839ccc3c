#include "tests/fake_console.h"

#include <algorithm>
#include <cstring>

#include "console/console.h"
#include "interpreter/machine.h"

namespace fake {
std::string output;
std::string keys;

void Reset() {
  output.clear();
  keys.clear();
  console::out_len = 0;
  a = b = c = d = tmp = 0;
  std::fill(std::begin(prog), std::end(prog), '\0');
  std::fill(std::begin(mem), std::end(mem), 0);
}
}  // namespace fake

namespace console {

void Open() {}
void StartKeys() {}
void Close() {
  Flush();
}

std::size_t ReadWord(char* /*word*/, std::size_t /*cap*/) {
  return 0;
}

int ReadKey() {
  Flush();
  if (fake::keys.empty()) return -1;
  const auto ch = static_cast<unsigned char>(fake::keys.front());
  fake::keys.erase(0, 1);
  return ch;
}

void Flush() {
  fake::output.append(out_buf, out_len);
  out_len = 0;
}

void PutText(const char* text) {
  Flush();
  fake::output += text;
}

void PutLine(const char* text) {
  PutText(text);
  PutChar('\n');
}

}  // namespace console
