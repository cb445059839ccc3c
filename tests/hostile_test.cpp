// Hostile input and hostile surroundings, each with its stated outcome.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "tests/child.h"

namespace {

using child::Exited;
using child::Killed;

// Starts vek with a short standard input (it fits the pipe) and output to `out`.
pid_t Start(const std::string& input, int out, bool ignore_sigpipe = false) {
  int in[2];
  if (pipe2(in, O_CLOEXEC) != 0 ||
      write(in[1], input.data(), input.size()) != static_cast<ssize_t>(input.size())) {
    return -1;
  }
  close(in[1]);
  const pid_t pid = child::Spawn(in[0], out, -1, ignore_sigpipe);
  close(in[0]);
  return pid;
}

TEST(Hostile, StandardOutputClosed) {  // opened on /dev/null: the run goes on
  const int null = open("/dev/null", O_RDONLY | O_CLOEXEC);
  EXPECT_TRUE(Exited(child::WaitFor(child::Spawn(null, -1, -1))));
  close(null);
}

// Standard output left non-blocking by whoever shares it: a slow reader still
// gets every byte.
TEST(Hostile, NonBlockingOutput) {
  auto set_a = [](std::size_t n) { return std::string(1, '$').append(n, '!'); };
  // 0..17: a = 256, jump there; 18: the stop; 19: 100 times "A" while b counts
  // down to 0; 256: b = 2048, jump to 19.
  std::string program = "!%-%-%-%-%-%-%-%-?^" + set_a(65) + std::string(100, '.') + ")$@" +
                        set_a(18) + "=" + set_a(19) + "?";
  program += std::string(256 - program.size(), 'x') + "$!%-%-%-%-%-%-%-%-%-%-%-{" + set_a(19) + "?";
  int out[2];
  ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
  fcntl(out[1], F_SETFL, O_NONBLOCK);
  const pid_t pid = Start(program + "\n", out[1]);
  close(out[1]);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the pipe fills meanwhile
  std::string got;
  char buf[4096];
  for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;) got.append(buf, n);
  close(out[0]);
  EXPECT_TRUE(Exited(child::WaitFor(pid)));
  EXPECT_EQ(got, child::kGreeting + std::string(204800, 'A') + "STOP\n" + child::kEnd);
}

// A program that prints forever into a pipe whose reader goes away ends at
// once: by SIGPIPE, or with status 1 when SIGPIPE is ignored.
TEST(Hostile, ReaderGoesAway) {
  for (const bool ignored : {false, true}) {
    int out[2];
    ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
    const pid_t pid = Start(".=\n", out[1], ignored);  // a NUL, a jump back to 0, forever
    close(out[1]);
    char buf[65536];
    std::size_t got = 0;
    for (ssize_t n; got < 1'000'000 && (n = read(out[0], buf, sizeof buf)) > 0;) got += n;
    close(out[0]);
    const int status = child::WaitFor(pid, 5);
    EXPECT_TRUE(ignored ? Exited(status, 1) : Killed(status, SIGPIPE)) << status;
  }
}

// Output still in the buffer when a signal ends the process reaches the file.
TEST(Hostile, SignalDeliversBufferedOutput) {
  // b = 65; 100 times "A"; a = 195; then a jump to itself at 195, forever.
  const std::string program =
      std::string(65, '*') + std::string(100, ':') + "---" + std::string(195 - 168, 'x') + "?";
  for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
    std::FILE* file = std::tmpfile();
    const pid_t pid = Start(program + "\n", fileno(file));
    // The greeting is written out at the prompt; the 100 characters follow
    // within microseconds and then stay in the buffer while the loop spins.
    struct stat st {};
    for (int i = 0; i < 2000 && fstat(fileno(file), &st) == 0 &&
                    st.st_size < static_cast<off_t>(child::kGreeting.size());
         ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    kill(pid, sig);
    EXPECT_TRUE(Killed(child::WaitFor(pid), sig));
    EXPECT_EQ(child::ReadAll(file), child::kGreeting + std::string(100, 'A')) << "signal " << sig;
  }
}

}  // namespace
