// What each platform provides underneath the console operations.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace platform {

// Sets up the process's console; returns whether standard output is a terminal.
bool Open();
// Whether keys come from a console of their own (otherwise from standard input).
bool HasKeyboard();
void StartKeys();
int ReadKeyboard();  // one keystroke, or -1 when the console is gone
// Raw bytes of standard input: a count, or 0 at its end or on an error.
std::size_t ReadIn(char* buf, std::size_t cap);
// Writes buf[sent..len) to standard output, advancing sent as bytes are
// delivered (a signal handler that ends the process delivers only the rest);
// false when it cannot be delivered.
bool WriteOut(const char* buf, std::size_t len, std::atomic<std::size_t>& sent);
void WriteErr(const char* text);
void Close();
// Ends the process at once, terminal restored, with status 1.
[[noreturn]] void Abandon();

}  // namespace platform
