// Runs the real vek binary as a user would: through a pseudo-terminal that is
// its controlling terminal, or through pipes with no terminal at all. The child
// always starts in a new session, and every wait has a timeout.
#pragma once

#include <sys/types.h>
#include <termios.h>

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace child {

struct Result {
  std::string out;
  std::string err;
  int status = -1;  // as from waitpid; -1 if it had to be killed after the timeout
};

inline const std::string kGreeting =
    "The Original VEK Language Interpreter for Win32\n"
    "Written by the VEK project developers, 2026\n"
    "Enter your program (max. 700 characters): ";
inline const std::string kEnd = "\nProgram was end.\n";

// Standard input from a pipe carrying `input` (closed if there is none),
// standard output to a pipe, standard error to a file.
Result RunPiped(const std::vector<std::string>& args, const std::optional<std::string>& input,
                double timeout_s = 20);
std::string ReadAll(std::FILE* file);  // from the start, then closes it
bool Exited(int status, int code = 0);
bool Killed(int status, int sig);

// Starts vek in a new session without a terminal on the given descriptors
// (-1: closed), with SIGPIPE at its default or ignored.
pid_t Spawn(int in, int out, int err, bool ignore_sigpipe = false,
            const std::vector<std::string>& args = {});
// Exit status as from waitpid, or -1 (and the child killed) after the timeout.
int WaitFor(pid_t pid, double timeout_s = 20);

class Pty {
 public:
  // With piped_stdin, standard input is a pipe carrying that text instead.
  // With ignore_hangup, vek starts with SIGHUP ignored, as under nohup.
  explicit Pty(const std::vector<std::string>& args = {},
               const std::optional<std::string>& piped_stdin = std::nullopt,
               bool ignore_hangup = false);
  void HangUp();  // closes the terminal's master side
  ~Pty();
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  void Type(std::string_view keys) const;
  // Reads until the screen so far contains text; false on timeout or exit.
  bool Expect(std::string_view text, double timeout_s = 10);
  const std::string& Screen() const { return screen_; }
  termios Settings() const;  // the terminal's current settings
  // Waits until the child has turned echo off; keys typed before that are
  // echoed by the terminal itself, as they would be for a fast typist.
  bool AwaitKeyMode(double timeout_s = 10) const;
  int Wait(double timeout_s = 10);  // exit status, -1 on timeout
  pid_t Pid() const { return pid_; }

 private:
  bool ReadSome(double timeout_s);
  int master_ = -1;
  pid_t pid_ = -1;
  std::string screen_;
};

bool SameSettings(const termios& x, const termios& y);

// text as a terminal shows it: each line feed becomes carriage return + line feed.
std::string OnScreen(const std::string& text);

}  // namespace child
