// Step counting runs in the benchmark's own process: output is dropped, keys
// are the program's key input, then -1.
#include "bench/null_console.h"

#include "console/console.h"

namespace {
std::string_view keys;
}  // namespace

namespace bench {
void FeedKeys(std::string_view k) {
  keys = k;
}
}  // namespace bench

namespace console {
void Open() {}
void StartKeys() {}
void Close() {}
std::size_t ReadWord(char* /*word*/, std::size_t /*cap*/) {
  return 0;
}
int ReadKey() {
  if (keys.empty()) return -1;
  const auto key = static_cast<unsigned char>(keys.front());
  keys.remove_prefix(1);
  return key;
}
void Flush() {
  out.len = 0;
}
void PutText(const char* /*text*/) {}
void PutLine(const char* /*text*/) {}
}  // namespace console
