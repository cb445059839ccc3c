// Without libFuzzer: runs a harness once on each file named, so that kept
// inputs (tests/regression/) stay checked in every build, and with
// --random N SEED on N inputs of the harness's own making.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
std::string RandomInput(std::mt19937& rng) __attribute__((weak));

namespace {
void Replay(const std::string& bytes) {
  LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}
}  // namespace

int main(int argc, char** argv) {
  int first = 1;
  long made = 0;
  if (argc > 3 && std::string(argv[1]) == "--random" && RandomInput != nullptr) {
    made = std::atol(argv[2]);
    std::mt19937 rng(static_cast<std::mt19937::result_type>(std::atol(argv[3])));
    for (long i = 0; i < made; ++i) Replay(RandomInput(rng));
    first = 4;
  }
  for (int i = first; i < argc; ++i) {
    std::ifstream file(argv[i], std::ios::binary);
    Replay({std::istreambuf_iterator<char>(file), {}});
  }
  std::printf("%ld made up, %d kept inputs replayed\n", made, argc - first);
  return 0;
}
