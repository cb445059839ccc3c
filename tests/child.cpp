#include "tests/child.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace child {
namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void Exec(const std::vector<std::string>& args) {
  std::vector<char*> argv{const_cast<char*>(VEK_BINARY)};
  for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  execv(argv[0], argv.data());
  _exit(127);
}

Clock::time_point Deadline(double seconds) {
  return Clock::now() +
         std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

int Remaining(Clock::time_point deadline) {
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return ms > 0 ? static_cast<int>(ms) : 0;
}

int WaitUntil(pid_t pid, Clock::time_point deadline) {
  for (;;) {
    int status = 0;
    const pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) return status;
    if (r < 0 || Clock::now() >= deadline) return -1;
    usleep(2000);
  }
}

void Kill(pid_t pid) {
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

}  // namespace

pid_t Spawn(int in, int out, int err, bool ignore_sigpipe, const std::vector<std::string>& args) {
  const pid_t pid = fork();
  if (pid != 0) return pid;
  setsid();  // no controlling terminal
  const int fds[3] = {in, out, err};
  int moved[3];
  for (int i = 0; i < 3; ++i) moved[i] = fds[i] < 0 ? -1 : fcntl(fds[i], F_DUPFD_CLOEXEC, 10);
  for (int i = 0; i < 3; ++i) {
    if (moved[i] < 0) {
      close(i);
    } else {
      dup2(moved[i], i);
    }
  }
  signal(SIGPIPE, ignore_sigpipe ? SIG_IGN : SIG_DFL);
  Exec(args);
}

int WaitFor(pid_t pid, double timeout_s) {
  const int status = WaitUntil(pid, Deadline(timeout_s));
  if (status == -1) Kill(pid);
  return status;
}

Result RunPiped(const std::vector<std::string>& args, const std::optional<std::string>& input,
                double timeout_s) {
  int in[2];
  int out[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return {};
  std::FILE* err = std::tmpfile();
  const pid_t pid = Spawn(input ? in[0] : -1, out[1], fileno(err), false, args);
  close(in[0]);
  close(out[1]);
  signal(SIGPIPE, SIG_IGN);  // the child may stop reading
  std::thread writer([fd = in[1], text = input.value_or("")] {
    for (std::size_t sent = 0; sent < text.size();) {
      const ssize_t n = write(fd, text.data() + sent, text.size() - sent);
      if (n <= 0) break;
      sent += static_cast<std::size_t>(n);
    }
    close(fd);
  });
  const auto deadline = Deadline(timeout_s);
  Result result;
  char buf[65536];
  for (pollfd p{out[0], POLLIN, 0}; poll(&p, 1, Remaining(deadline)) > 0;) {
    const ssize_t n = read(out[0], buf, sizeof buf);
    if (n <= 0) break;
    result.out.append(buf, static_cast<std::size_t>(n));
  }
  close(out[0]);
  result.status = WaitFor(pid, Remaining(deadline) / 1000.0);
  writer.join();
  result.err = ReadAll(err);
  return result;
}

std::string ReadAll(std::FILE* file) {
  std::rewind(file);
  std::string text;
  for (int ch; (ch = std::fgetc(file)) != EOF;) text += static_cast<char>(ch);
  std::fclose(file);
  return text;
}

bool Exited(int status, int code) {
  return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == code;
}

bool Killed(int status, int sig) {
  return status != -1 && WIFSIGNALED(status) && WTERMSIG(status) == sig;
}

Pty::Pty(const std::vector<std::string>& args, const std::optional<std::string>& piped_stdin,
         bool ignore_hangup) {
  int in[2] = {-1, -1};
  if (piped_stdin && pipe(in) != 0) return;
  // forkpty gives the child a new session with the pty as its controlling terminal.
  pid_ = forkpty(&master_, nullptr, nullptr, nullptr);
  if (pid_ == 0) {
    if (piped_stdin) {
      dup2(in[0], 0);
      close(in[0]);
      close(in[1]);
    }
    signal(SIGPIPE, SIG_DFL);
    if (ignore_hangup) signal(SIGHUP, SIG_IGN);
    Exec(args);
  }
  if (piped_stdin) {
    close(in[0]);
    const ssize_t n = write(in[1], piped_stdin->data(), piped_stdin->size());  // fits the pipe
    (void)n;
    close(in[1]);
  }
}

Pty::~Pty() {
  if (pid_ > 0) Kill(pid_);
  if (master_ >= 0) close(master_);
}

void Pty::HangUp() {
  close(master_);
  master_ = -1;
}

void Pty::Type(std::string_view keys) const {
  while (!keys.empty()) {
    const ssize_t n = write(master_, keys.data(), keys.size());
    if (n <= 0) return;
    keys.remove_prefix(static_cast<std::size_t>(n));
  }
}

bool Pty::ReadSome(double timeout_s) {
  pollfd p{master_, POLLIN, 0};
  if (poll(&p, 1, static_cast<int>(timeout_s * 1000)) <= 0) return false;
  char buf[4096];
  const ssize_t n = read(master_, buf, sizeof buf);
  if (n <= 0) return false;  // EIO once the child has gone
  screen_.append(buf, static_cast<std::size_t>(n));
  return true;
}

bool Pty::Expect(std::string_view text, double timeout_s) {
  const auto deadline = Deadline(timeout_s);
  while (screen_.find(text) == std::string::npos) {
    if (Clock::now() >= deadline || !ReadSome(Remaining(deadline) / 1000.0)) {
      return screen_.find(text) != std::string::npos;
    }
  }
  return true;
}

termios Pty::Settings() const {
  termios t{};
  tcgetattr(master_, &t);
  return t;
}

bool Pty::AwaitKeyMode(double timeout_s) const {
  const auto deadline = Deadline(timeout_s);
  while ((Settings().c_lflag & ECHO) != 0) {
    if (Clock::now() >= deadline) return false;
    usleep(1000);
  }
  return true;
}

int Pty::Wait(double timeout_s) {
  const auto deadline = Deadline(timeout_s);
  const int status = WaitUntil(pid_, deadline);
  if (status != -1) {
    pid_ = -1;
    while (ReadSome(0.05)) {
    }
  }
  return status;
}

bool SameSettings(const termios& x, const termios& y) {
  return x.c_iflag == y.c_iflag && x.c_oflag == y.c_oflag && x.c_cflag == y.c_cflag &&
         x.c_lflag == y.c_lflag && std::memcmp(x.c_cc, y.c_cc, sizeof x.c_cc) == 0;
}

std::string OnScreen(const std::string& text) {
  std::string s;
  for (const char ch : text) s += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
  return s;
}

}  // namespace child
