// Hostile input and hostile surroundings, each with its stated outcome.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "tests/child.h"

namespace {

const std::string kGreeting =
    "The Original VEK Language Interpreter for Win32\n"
    "Written by the VEK project developers, 2026\n"
    "Enter your program (max. 700 characters): ";
const std::string kEnd = "\nProgram was end.\n";

bool Exited(int status, int code) {
  return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == code;
}
bool Killed(int status, int sig) {
  return status != -1 && WIFSIGNALED(status) && WTERMSIG(status) == sig;
}

// 100 MB without white space: the first 700 characters run, the rest is
// read and dropped, with one notice on standard error.
TEST(Hostile, HugeWord) {
  std::string input(100'000'000, '!');  // NOLINT(bugprone-string-constructor)
  input.replace(0, 3, "N.N");
  const auto r = child::RunPiped({}, input + "\n", 120);
  EXPECT_TRUE(Exited(r.status, 0));
  EXPECT_EQ(r.out, kGreeting + "NULL\n" + std::string(1, '\0') + "NULL\n" + kEnd);
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
}

TEST(Hostile, EveryByteValue) {
  std::string word;
  for (int ch = 0; ch < 256; ++ch) {
    if (std::string(" \t\n\r\v\f").find(static_cast<char>(ch)) == std::string::npos) {
      word += static_cast<char>(ch);
    }
  }
  // ... ,  (no key left: a = -1)  -  .  (writes 0xff)  ...  :  (writes b = 0)
  // ;  <  =  (c == d: jumps to a = -2, which ends the run)
  const auto r = child::RunPiped({}, word + "\n");
  EXPECT_TRUE(Exited(r.status, 0));
  EXPECT_EQ(r.out, kGreeting + std::string("\xff\0", 2) + kEnd);
  EXPECT_EQ(r.err, "");
}

// Closed standard descriptors are opened on /dev/null: an empty program runs.
TEST(Hostile, StandardInputClosedOrEmpty) {
  int out[2];
  ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
  const pid_t pid = child::Spawn(-1, out[1], -1);
  close(out[1]);
  char buf[4096];
  std::string got;
  for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;) got.append(buf, n);
  close(out[0]);
  EXPECT_TRUE(Exited(child::WaitFor(pid), 0));
  EXPECT_EQ(got, kGreeting + kEnd);
  EXPECT_EQ(child::RunPiped({}, "").out, kGreeting + kEnd);
}

TEST(Hostile, StandardOutputClosed) {
  const int null = open("/dev/null", O_RDONLY | O_CLOEXEC);
  EXPECT_TRUE(Exited(child::WaitFor(child::Spawn(null, -1, -1)), 0));
  close(null);
}

// A program that prints forever into a pipe whose reader goes away ends at
// once: by SIGPIPE, or with status 1 when SIGPIPE is ignored.
TEST(Hostile, ReaderGoesAway) {
  for (const bool ignored : {false, true}) {
    int in[2];
    int out[2];
    ASSERT_EQ(pipe2(in, O_CLOEXEC), 0);
    ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
    ASSERT_EQ(write(in[1], ".=\n", 3), 3);  // writes a NUL, jumps back to 0, forever
    close(in[1]);
    const pid_t pid = child::Spawn(in[0], out[1], -1, ignored);
    close(in[0]);
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
    int in[2];
    ASSERT_EQ(pipe2(in, O_CLOEXEC), 0);
    ASSERT_EQ(write(in[1], (program + "\n").data(), program.size() + 1),
              static_cast<ssize_t>(program.size() + 1));
    close(in[1]);
    std::FILE* file = std::tmpfile();
    const pid_t pid = child::Spawn(in[0], fileno(file), -1);
    close(in[0]);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    kill(pid, sig);
    EXPECT_TRUE(Killed(child::WaitFor(pid), sig));
    std::rewind(file);
    std::string got;
    for (int ch; (ch = std::fgetc(file)) != EOF;) got += static_cast<char>(ch);
    std::fclose(file);
    EXPECT_EQ(got, kGreeting + std::string(100, 'A')) << "signal " << sig;
  }
}

}  // namespace
