#include "fuzz/memory_platform.h"

#include <algorithm>
#include <cstdlib>

#include "console/console.h"
#include "console/platform.h"

namespace memory {
std::string out;
namespace {
std::string_view input;
std::size_t block_size = 0;
}  // namespace

void Reset(std::string_view in, std::size_t block) {
  console::Reset();
  input = in;
  block_size = block;
  out.clear();
}

std::size_t InputLeft() {
  return input.size();
}
}  // namespace memory

namespace platform {
bool Open() {
  return false;
}
bool HasKeyboard() {
  return false;
}
void StartKeys() {}
int ReadKeyboard() {
  return -1;
}
std::size_t ReadIn(char* buf, std::size_t cap) {
  const std::size_t n = std::min({cap, memory::block_size, memory::input.size()});
  std::copy_n(memory::input.begin(), n, buf);
  memory::input.remove_prefix(n);
  return n;
}
bool WriteOut(const char* buf, std::size_t len) {
  memory::out.append(buf, len);
  return true;
}
void WriteErr(const char* /*text*/) {}
void Close() {}
void Abandon() {
  std::abort();
}
}  // namespace platform
