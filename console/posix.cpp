// POSIX console: keys from the controlling terminal in a no-echo,
// one-byte-per-key mode, restored on every way out, signals included.
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <sys/select.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "console/console.h"
#include "console/platform.h"

namespace platform {
namespace {

int key_fd = -1;  // the terminal keys are read from; -1: none
termios saved{};  // its settings as found
volatile sig_atomic_t key_mode = 0;
bool out_file = false;  // standard output is a regular file: a write never waits for room

constexpr int kEndSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE};

void EnterKeyMode() {
  termios t = saved;
  t.c_lflag &= ~(ECHO | ICANON | IEXTEN);  // ISIG stays: Ctrl-C still interrupts
  t.c_iflag &= ~ICRNL;                     // Enter reads as 13
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  // Marked first: a signal arriving in between then restores settings that
  // were not changed yet, which is harmless. TCSANOW keeps keys typed ahead.
  key_mode = 1;
  if (tcsetattr(key_fd, TCSANOW, &t) != 0) key_mode = 0;
}

void LeaveKeyMode() {
  if (key_mode != 0) {
    tcsetattr(key_fd, TCSANOW, &saved);
    key_mode = 0;
  }
}

// At most PIPE_BUF bytes a write: a pipe takes them whole or not at all, and
// once poll says there is room, whole.
constexpr std::size_t kChunk = PIPE_BUF;

// Async-signal-safe, for a process about to die: writes what is left of the
// buffer for as long as standard output takes it without waiting.
void DeliverPending() {
  const std::size_t n = console::out.len.load(std::memory_order_relaxed);
  std::size_t done = console::out.sent.load(std::memory_order_relaxed);
  std::atomic_signal_fence(std::memory_order_acquire);
  while (done < n) {
    pollfd p{STDOUT_FILENO, POLLOUT, 0};
    if (poll(&p, 1, 0) != 1 || (p.revents & POLLOUT) == 0) return;
    const std::size_t part = n - done < kChunk ? n - done : kChunk;
    const ssize_t w = write(STDOUT_FILENO, console::out.buf + done, part);
    if (w > 0) {
      done += static_cast<std::size_t>(w);
    } else if (w < 0 && errno != EINTR) {
      return;
    }
  }
}

void Reraise(int sig) {
  signal(sig, SIG_DFL);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, sig);
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
  raise(sig);
}

void OnEndSignal(int sig) {
  LeaveKeyMode();
  DeliverPending();
  Reraise(sig);  // the caller sees death by this signal
}

// Leaves the output buffer alone: the writer may hold its count.
void OnStopSignal(int sig) {
  const int err = errno;
  const bool was_keys = key_mode != 0;
  LeaveKeyMode();
  Reraise(sig);
  // Continued: take the keys back.
  signal(sig, OnStopSignal);
  if (was_keys) EnterKeyMode();
  errno = err;
}

void Handle(int sig, void (*handler)(int)) {
  struct sigaction old {};
  sigaction(sig, nullptr, &old);
  if (old.sa_handler == SIG_IGN) return;  // e.g. nohup: stays ignored
  struct sigaction act {};
  act.sa_handler = handler;
  sigemptyset(&act.sa_mask);
  act.sa_flags = SA_RESTART;
  sigaction(sig, &act, nullptr);
}

// After a failed read or write: whether to try again. Interrupted calls are
// retried, and a descriptor left non-blocking by whoever shares it is waited on.
bool Retry(int fd, short events) {
  if (errno == EINTR) return true;
  if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
  pollfd p{fd, events, 0};
  return poll(&p, 1, -1) >= 0 || errno == EINTR;
}

}  // namespace

bool Open() {
  // A closed standard descriptor would otherwise be taken by the terminal.
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) == -1 && errno == EBADF)
      open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
  }
  key_fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (key_fd < 0 && isatty(STDIN_FILENO) != 0) key_fd = STDIN_FILENO;
  if (key_fd >= 0 && tcgetattr(key_fd, &saved) != 0) {
    if (key_fd != STDIN_FILENO) close(key_fd);
    key_fd = -1;
  }
  struct stat out {};
  out_file = fstat(STDOUT_FILENO, &out) == 0 && S_ISREG(out.st_mode);
  for (const int sig : kEndSignals) Handle(sig, OnEndSignal);
  Handle(SIGTSTP, OnStopSignal);
  // The program text does not come from the terminal: take the keys at once,
  // so nothing typed from now on is echoed.
  if (key_fd >= 0 && isatty(STDIN_FILENO) == 0) EnterKeyMode();
  return isatty(STDOUT_FILENO) != 0;
}

bool HasKeyboard() {
  return key_fd >= 0;
}

void StartKeys() {
  if (key_fd >= 0 && key_mode == 0) EnterKeyMode();
}

int ReadKeyboard() {
  unsigned char ch = 0;
  for (;;) {
    const ssize_t n = read(key_fd, &ch, 1);
    if (n == 1) return ch;
    if (n == 0 || errno != EINTR) return -1;  // hung up
  }
}

std::size_t ReadIn(char* buf, std::size_t cap) {
  for (;;) {
    const ssize_t n = read(STDIN_FILENO, buf, cap);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (!Retry(STDIN_FILENO, POLLIN)) return 0;
  }
}

// End signals are held off while writing and let in only while waiting for
// room, so a handler always knows exactly what was delivered. A regular file
// takes the whole buffer at once, with nothing to wait for.
bool WriteOut(const char* buf, std::size_t len, std::atomic<std::size_t>& sent) {
  sigset_t ends;
  sigset_t old;
  sigemptyset(&ends);
  for (const int sig : kEndSignals) sigaddset(&ends, sig);
  sigprocmask(SIG_BLOCK, &ends, &old);
  bool ok = true;
  for (std::size_t done = sent.load(std::memory_order_relaxed); ok && done < len;) {
    fd_set room;
    FD_ZERO(&room);
    FD_SET(STDOUT_FILENO, &room);
    if (!out_file && pselect(STDOUT_FILENO + 1, nullptr, &room, nullptr, nullptr, &old) < 0) {
      ok = errno == EINTR;
      continue;
    }
    const std::size_t part = out_file || len - done < kChunk ? len - done : kChunk;
    const ssize_t n = write(STDOUT_FILENO, buf + done, part);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      sent.store(done, std::memory_order_relaxed);
    } else if (n < 0) {
      ok = errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK;
    }
  }
  sigprocmask(SIG_SETMASK, &old, nullptr);  // a SIGPIPE from a write is taken here
  return ok;
}

void WriteErr(const char* text) {
  const ssize_t n = write(STDERR_FILENO, text, std::strlen(text));
  (void)n;  // nothing more to do if even standard error fails
}

void Close() {
  // What is still pending (the rest of a key that sends several bytes, such
  // as an arrow or a function key) is the program's, not the shell's.
  if (key_mode != 0) tcflush(key_fd, TCIFLUSH);
  LeaveKeyMode();
}

void Abandon() {
  LeaveKeyMode();
  _exit(1);
}

}  // namespace platform
