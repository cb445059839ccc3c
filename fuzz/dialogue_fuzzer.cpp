// Fuzzes the whole dialogue with no terminal: arbitrary bytes on standard
// input are the program text and the keys. Whatever they are, the output
// starts with the greeting and ends with the closing words.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "dialogue/dialogue.h"
#include "fuzz/memory_platform.h"
#include "interpreter/bound.h"
#include "interpreter/machine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  constexpr std::string_view kGreeting =
      "The Original VEK Language Interpreter for Win32\n"
      "Written by the VEK project developers, 2026\n"
      "Enter your program (max. 700 characters): ";
  constexpr std::string_view kEnd = "\nProgram was end.\n";
  memory::Reset({reinterpret_cast<const char*>(data), size}, 4096);
  std::fill(std::begin(prog), std::end(prog), '\0');
  std::fill(std::begin(mem), std::end(mem), 0);
  tmp = 0;
  step_budget = jump_budget = 20000;
  if (Dialogue(1) != 0) std::abort();
  const std::string_view out = memory::out;
  if (!out.starts_with(kGreeting) || !out.ends_with(kEnd)) std::abort();
  return 0;
}
