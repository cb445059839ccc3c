// Fuzzing target: the dialogue. With the input as standard input and no
// terminal, the dialogue comes to its closing words, having read the first
// word of the input as the program text (at most 700 bytes, the rest
// dropped); and how standard input arrives (in blocks of 4096 bytes, or of
// 2 to the power of the input's length modulo 12) changes nothing: not the
// output, not the keys the program reads after the word's line, nor the
// machine it leaves.
#include "dialogue/dialogue.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/common.h"
#include "interpreter/loops.h"

// The dialogue's run, bounded, as a made-up program may loop forever: the
// reference loop, which decodes nothing first. The loops themselves are the
// other targets' business; this one checks what the console and the
// dialogue make of standard input.
void ExecVek(int n) {
  Limits limits{.steps = 1 << 10};
  ExecVekReference(n, limits);
}

namespace {

fuzz::Outcome Converse(std::string_view text, std::size_t block) {
  fuzz::Feed(text, block);
  ResetMachine();  // as in a new process
  if (Dialogue(1) != 0) std::abort();
  if (!std::string_view(fuzz::Written()).ends_with("\nProgram was end.\n")) std::abort();
  fuzz::Outcome o = fuzz::Collect(0, 0);
  o.keys_left = 0;  // what a read took ahead depends on the blocks
  return o;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const fuzz::Outcome whole = Converse(text, 4096);
  // prog holds the first word of the input, at most 700 bytes, and 0 after it.
  const std::size_t from = std::min(text.find_first_not_of(" \t\n\r\v\f"), size);
  const std::string_view word = text.substr(from, text.find_first_of(" \t\n\r\v\f", from) - from);
  std::string want(word.substr(0, kProgSize));
  want.resize(kProgSize, '\0');
  if (want != std::string_view(prog, kProgSize)) std::abort();
  fuzz::Agree("whole and split standard input", Converse(text, std::size_t{1} << (size % 12)),
              whole);
  return 0;
}
