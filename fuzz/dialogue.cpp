// Fuzzing target: the dialogue. With the input as standard input and no
// terminal, the dialogue comes to its closing words, having read the first
// word of the input as the program text (at most 700 bytes, the rest
// dropped); the keys are the bytes after the word's line, in order, however
// many the program reads; and how standard input arrives (in blocks of 4096
// bytes, or of 2 to the power of the input's length modulo 12) changes
// nothing: not the output, the keys, nor the machine the run leaves.
#include "dialogue/dialogue.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <string>
#include <string_view>

#include "console/console.h"
#include "fuzz/common.h"
#include "interpreter/instructions.h"
#include "interpreter/loops.h"

namespace {
std::uint32_t counts[kProgSize];  // steps run at each position
std::string rest;                 // the keys the program left
}  // namespace

// The dialogue's run, bounded, as a made-up program may loop forever: the
// reference loop, which decodes nothing first and counts the key reads.
// The loops themselves are the other targets' business. Then every key
// left, so that the closing wait meets the end of input.
void ExecVek(int n) {
  std::fill(std::begin(counts), std::end(counts), 0);
  Limits limits{.steps = 1 << 10, .counts = counts};
  ExecVekReference(n, limits);
  rest.clear();
  for (int key = console::ReadKey(); key != -1; key = console::ReadKey()) rest += char(key);
}

namespace {

constexpr const char* kSpace = " \t\n\r\v\f";

fuzz::Outcome Converse(std::string_view text, std::size_t block) {
  fuzz::Feed(text, block);
  ResetMachine();  // as in a new process
  if (Dialogue(1) != 0) std::abort();
  if (!std::string_view(fuzz::Written()).ends_with("\nProgram was end.\n")) std::abort();
  // The keys: the bytes after the line the word ends, or after the word
  // where a line end ends it.
  const std::size_t from = std::min(text.find_first_not_of(kSpace), text.size());
  const std::size_t end = std::min(text.find_first_of(kSpace, from), text.size());
  const std::size_t line = end < text.size() && text[end] != '\n' ? text.find('\n', end) : end;
  const std::string_view keys = line < text.size() ? text.substr(line + 1) : std::string_view();
  std::size_t read = 0;
  for (std::size_t p = 0; p < kProgSize; ++p) read += ReadsKey(prog[p]) ? counts[p] : 0;
  if (rest != keys.substr(std::min(read, keys.size()))) std::abort();
  fuzz::Outcome o = fuzz::Collect(0, 0);
  o.keys_left = 0;  // what a read took ahead depends on the blocks
  return o;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const fuzz::Outcome whole = Converse(text, 4096);
  // prog holds the first word of the input, at most 700 bytes, and 0 after it.
  const std::size_t from = std::min(text.find_first_not_of(kSpace), size);
  const std::string_view word = text.substr(from, text.find_first_of(kSpace, from) - from);
  std::string want(word.substr(0, kProgSize));
  want.resize(kProgSize, '\0');
  if (want != std::string_view(prog, kProgSize)) std::abort();
  fuzz::Agree("whole and split standard input", Converse(text, std::size_t{1} << (size % 12)),
              whole);
  return 0;
}
