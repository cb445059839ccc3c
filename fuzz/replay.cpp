// Without libFuzzer: runs the fuzzing target it is linked with on each file
// named, so that kept inputs (tests/regression/) stay checked in every
// build, and with --random N SEED first on N made-up inputs: bytes drawn
// mostly from the instruction characters (those that fold into runs three
// times as often) and from 0, 0x7f, 0x80 and 0xff.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "interpreter/decode.h"
#include "interpreter/instructions.h"

namespace {

// Every instruction's character once, and the ones whose runs fold twice more.
std::string Common() {
#define VEK_CHAR(ch, name, kind, effect) ch,
  std::string chars = {VEK_INSTRUCTIONS(VEK_CHAR) VEK_CONTROL(VEK_CHAR)};
#undef VEK_CHAR
  for (const char ch : std::string(chars)) {
    if (AddsToA(ch) != 0 || AddsToB(ch) != 0) chars.append(2, ch);
  }
  return chars;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  int first = 1;
  long made = 0;
  if (argc > 3 && std::strcmp(argv[1], "--random") == 0) {
    made = std::atol(argv[2]);
    std::mt19937 rng(static_cast<std::mt19937::result_type>(std::atol(argv[3])));
    const std::string common = Common();
    const std::string edges("\0\x7f\x80\xff", 4);
    for (long i = 0; i < made; ++i) {
      std::string input(rng() % (rng() % 4 == 0 ? 800 : 120), '\0');
      for (char& ch : input) {
        const unsigned pick = rng();
        ch = pick % 4 < 2    ? common[pick / 4 % common.size()]
             : pick % 4 == 2 ? edges[pick / 4 % 4]
                             : static_cast<char>(pick / 4);
      }
      LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
    }
    first = 4;
  }
  for (int i = first; i < argc; ++i) {
    std::ifstream file(argv[i], std::ios::binary);
    const std::string kept{std::istreambuf_iterator<char>(file), {}};
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(kept.data()), kept.size());
  }
  std::printf("%ld made up, %d kept inputs replayed\n", made, argc - first);
  return 0;
}
