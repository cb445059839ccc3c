// Fuzzes the whole dialogue with no terminal: arbitrary bytes on standard
// input are the program text and the keys. Whatever they are, the output
// starts with the greeting and ends with the closing words.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "console/console.h"
#include "console/platform.h"
#include "dialogue/dialogue.h"
#include "interpreter/bound.h"
#include "interpreter/machine.h"
#include "tests/child.h"

namespace {

const std::uint8_t* input = nullptr;
std::size_t input_left = 0;
std::string output;

}  // namespace

// Standard input and output in memory, no terminal.
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
  const std::size_t n = std::min(cap, input_left);
  std::memcpy(buf, input, n);
  input += n;
  input_left -= n;
  return n;
}
bool WriteOut(const char* buf, std::size_t len) {
  output.append(buf, len);
  return true;
}
void WriteErr(const char* /*text*/) {}
void Close() {}
void Abandon() {
  std::abort();
}
}  // namespace platform

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  input = data;
  input_left = size;
  output.clear();
  console::Reset();
  std::fill(std::begin(prog), std::end(prog), '\0');
  std::fill(std::begin(mem), std::end(mem), 0);
  tmp = 0;
  step_budget = 20000;
  if (Dialogue(1) != 0) std::abort();
  const std::string& greeting = child::kGreeting;
  const std::string& end = child::kEnd;
  if (output.compare(0, greeting.size(), greeting) != 0) std::abort();
  if (output.size() < greeting.size() + end.size() ||
      output.compare(output.size() - end.size(), end.size(), end) != 0) {
    std::abort();
  }
  return 0;
}
