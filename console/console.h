// Console operations used by the interpreter and the dialogue. Output goes
// through one buffer: on a terminal every character is shown at once,
// elsewhere it is delivered when the buffer fills, before any read waits, and
// at the end.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace console {

// Prepares the console: called once, first thing in main.
void Open();
// From here on keys are read (the program text has been read).
void StartKeys();
// Delivers all output and leaves the terminal as it was found.
void Close();
// Forgets all buffered input and output, as in a new process: for running
// the dialogue more than once in one process, as the fuzzer does.
void Reset();

// Reads one white-space-delimited word from standard input into word, keeping
// at most cap bytes; the rest of a longer word is read and dropped.
// Returns the number of bytes kept.
std::size_t ReadWord(char* word, std::size_t cap);

// Waits for one keystroke without echo and returns its code (Enter gives 13),
// or -1 when no key can come any more.
int ReadKey();

void PutText(const char* text);
void PutLine(const char* text);  // text and a line end
void Flush();

inline constexpr std::size_t kOutSize = 1 << 16;
// Room past kOutSize for bytes a writer puts down before it counts them (at
// most this many at once); the count itself never passes kOutSize.
inline constexpr std::size_t kOutSlack = 64;
// The output buffer. len is the truth between instructions: a writer stores
// the bytes first and the new count after them, and nothing else changes len
// behind a writer's back (a stop signal leaves the buffer alone; an end signal
// writes out buf[sent..len) and ends the process). Native code reaches both
// from one base address, so len sits right after buf.
struct OutBuffer {
  char buf[kOutSize + kOutSlack];
  std::atomic<std::size_t> len{0};
  std::atomic<std::size_t> sent{0};  // delivered of buf[0..len) while a flush is under way
};
inline OutBuffer out;
static_assert(offsetof(OutBuffer, len) == sizeof OutBuffer::buf, "len right after buf");
// The buffer is written out when it holds this many bytes: 1 on a terminal.
inline std::size_t out_limit = kOutSize;

// Writes the low 8 bits of ch.
inline void PutChar(std::int32_t ch) {
  const std::size_t n = out.len.load(std::memory_order_relaxed);
  out.buf[n] = static_cast<char>(ch);
  std::atomic_signal_fence(std::memory_order_release);
  out.len.store(n + 1, std::memory_order_relaxed);
  if (n + 1 >= out_limit) Flush();
}

}  // namespace console
