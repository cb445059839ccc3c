// Windows console: keys through the runtime's console key read, which reads
// the console itself without echo even when standard input is redirected.
#include <conio.h>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "console/platform.h"

namespace platform {
namespace {
bool has_console = false;
}  // namespace

bool Open() {
  // Bytes as they are: the program text and, without a console, the keys.
  _setmode(_fileno(stdin), _O_BINARY);
  const HANDLE in =
      CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  if (in != INVALID_HANDLE_VALUE) {
    has_console = true;
    CloseHandle(in);
  }
  return _isatty(_fileno(stdout)) != 0;
}

bool HasKeyboard() {
  return has_console;
}

void StartKeys() {}

int ReadKeyboard() {
  return _getch();
}

std::size_t ReadIn(char* buf, std::size_t cap) {
  const int n = _read(_fileno(stdin), buf, static_cast<unsigned>(cap));
  return n > 0 ? static_cast<std::size_t>(n) : 0;
}

// Standard output stays a text stream: a line feed goes out as CR LF.
bool WriteOut(const char* buf, std::size_t len, std::atomic<std::size_t>& sent) {
  const std::size_t from = sent.load(std::memory_order_relaxed);
  const bool ok =
      std::fwrite(buf + from, 1, len - from, stdout) == len - from && std::fflush(stdout) == 0;
  sent.store(len, std::memory_order_relaxed);
  return ok;
}

void WriteErr(const char* text) {
  std::fputs(text, stderr);
}

void Close() {}

void Abandon() {
  std::_Exit(1);
}
}  // namespace platform
