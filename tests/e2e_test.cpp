// The real vek binary, driven through a pseudo-terminal and through pipes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/child.h"

namespace {

using child::Exited;
using child::kEnd;
using child::kGreeting;

// Every byte but white space, in order: ... , (no key left: a = -1) - . (writes
// 0xff) ... : (writes b = 0) ; < = (c == d: a jump to -2, which ends the run).
std::string EveryByte() {
  std::string word;
  for (int ch = 1; ch < 256; ++ch) {
    if (std::string(" \t\n\r\v\f").find(static_cast<char>(ch)) == std::string::npos) {
      word += static_cast<char>(ch);
    }
  }
  return std::string(1, '\0') + word + "\n";
}

// --- No terminal: everything through pipes. -------------------------------

struct PipeCase {
  const char* name;
  std::optional<std::string> input;  // none: standard input closed
  std::string out;                   // what follows the greeting
  std::vector<std::string> args = {};
};
void PrintTo(const PipeCase& t, std::ostream* os) {
  *os << t.name;
}

const PipeCase kPipeCases[] = {
    {"stop", "^\n", "STOP\n" + kEnd},
    {"null", "N", "NULL\n" + kEnd},
    {"no_input", "", kEnd},
    {"stdin_closed", std::nullopt, kEnd},
    {"blank_lines_first", "\n \t\r\n\v\f N", "NULL\n" + kEnd},
    {"rest_of_line_never_a_key", ",.,.^ zz\nkq", "kqSTOP\n" + kEnd},
    {"keys_after_word_ending_line", ",.^\nk", "kSTOP\n" + kEnd},
    {"key_at_end_of_input", ",@#.:^", "0/STOP\n" + kEnd},
    {"exactly_700", std::string(699, 'x') + "N", "NULL\n" + kEnd},
    {"every_byte", EveryByte(), std::string("\xff\0", 2) + kEnd},
};

class PipeTest : public testing::TestWithParam<PipeCase> {};

TEST_P(PipeTest, ExactOutputNothingOnStandardError) {
  const auto r = child::RunPiped({}, GetParam().input);
  EXPECT_TRUE(Exited(r.status));
  EXPECT_EQ(r.out, kGreeting + GetParam().out);
  EXPECT_EQ(r.err, "");
}

INSTANTIATE_TEST_SUITE_P(NoTerminal, PipeTest, testing::ValuesIn(kPipeCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(NoTerminal, ArgumentRefused) {
  const auto r = child::RunPiped({"x"}, "^\n");
  EXPECT_TRUE(Exited(r.status));
  EXPECT_EQ(r.out, "The Original VEK Interpreter does not support command line parameters.\n");
  EXPECT_EQ(r.err, "");
}

// 100 MB without white space: the first 700 characters run, the rest is read
// and dropped, with one notice on standard error.
TEST(NoTerminal, OverlongWord) {
  std::string input(100'000'000, '!');  // NOLINT(bugprone-string-constructor)
  input.replace(0, 3, "N.N");
  const auto r = child::RunPiped({}, input + "\n", 120);
  EXPECT_TRUE(Exited(r.status));
  EXPECT_EQ(r.out, kGreeting + "NULL\n" + std::string(1, '\0') + "NULL\n" + kEnd);
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
}

// --- Through a pseudo-terminal. -------------------------------------------

TEST(Terminal, StopThenOneKeyWithoutEcho) {
  child::Pty pty;
  const termios before = pty.Settings();
  ASSERT_TRUE(pty.Expect("characters): "));
  pty.Type("^\r");
  ASSERT_TRUE(pty.Expect("Program was end.\r\n"));
  EXPECT_EQ(pty.Settings().c_lflag & ECHO, 0U);
  pty.Type("x");
  EXPECT_TRUE(Exited(pty.Wait()));
  EXPECT_EQ(pty.Screen(), child::OnScreen(kGreeting + "^\nSTOP\n" + kEnd));
  EXPECT_TRUE(child::SameSettings(pty.Settings(), before));
}

TEST(Terminal, KeysNotEchoedEnterIs13RestOfLineDropped) {
  child::Pty pty;
  ASSERT_TRUE(pty.Expect("characters): "));
  pty.Type(",@#.:,.^ zz\r");
  ASSERT_TRUE(pty.AwaitKeyMode());
  pty.Type("\r");
  ASSERT_TRUE(pty.Expect("13"));
  pty.Type("k");
  ASSERT_TRUE(pty.Expect("Program was end.\r\n"));
  pty.Type("q");
  EXPECT_TRUE(Exited(pty.Wait()));
  EXPECT_EQ(pty.Screen(), child::OnScreen(kGreeting + ",@#.:,.^ zz\n13kSTOP\n" + kEnd));
}

// A signal in any phase ends the process by that signal, and the terminal is
// as it was before. Ctrl-C is typed; the others are sent.
struct SignalCase {
  std::string name;
  std::string program;  // typed at the prompt
  std::string wait_for;
  int sig;
};

std::vector<SignalCase> SignalCases() {
  const SignalCase phases[] = {
      {"key_read", ",\r", ",\r\n", 0},
      {"final_wait", "N\r", "Program was end.\r\n", 0},
      {"endless_loop", "=^\r", "=^\r\n", 0},
  };
  const std::pair<const char*, int> signals[] = {
      {"ctrl_c", SIGINT}, {"sigterm", SIGTERM}, {"sighup", SIGHUP}, {"sigquit", SIGQUIT}};
  std::vector<SignalCase> cases;
  for (const auto& phase : phases) {
    for (const auto& [name, sig] : signals) {
      cases.push_back({phase.name + "_" + name, phase.program, phase.wait_for, sig});
    }
  }
  return cases;
}
void PrintTo(const SignalCase& t, std::ostream* os) {
  *os << t.name;
}

class SignalTest : public testing::TestWithParam<SignalCase> {};

TEST_P(SignalTest, TerminalRestored) {
  const SignalCase& t = GetParam();
  child::Pty pty;
  const termios before = pty.Settings();
  ASSERT_TRUE(pty.Expect("characters): "));
  pty.Type(t.program);
  ASSERT_TRUE(pty.Expect(t.wait_for));
  ASSERT_TRUE(pty.AwaitKeyMode());
  if (t.sig == SIGINT) {
    pty.Type("\x03");
  } else {
    kill(pty.Pid(), t.sig);
  }
  const int status = pty.Wait();
  ASSERT_NE(status, -1);
  EXPECT_TRUE(child::Killed(status, t.sig)) << status;
  EXPECT_TRUE(child::SameSettings(pty.Settings(), before));
}

INSTANTIATE_TEST_SUITE_P(Terminal, SignalTest, testing::ValuesIn(SignalCases()),
                         [](const auto& info) { return info.param.name; });

// The terminal goes away during a key read: SIGHUP ends the process; under
// nohup the read gives -1 at once, and the next write, having nowhere to go,
// ends the process with status 1.
TEST(Terminal, HangUpDuringKeyRead) {
  for (const bool ignored : {false, true}) {
    child::Pty pty({}, std::nullopt, ignored);
    ASSERT_TRUE(pty.Expect("characters): "));
    pty.Type(",,,,\r");
    ASSERT_TRUE(pty.AwaitKeyMode());
    pty.HangUp();
    const int status = pty.Wait(5);
    ASSERT_NE(status, -1) << "still running after the hang-up";
    EXPECT_TRUE(ignored ? Exited(status, 1) : child::Killed(status, SIGHUP)) << status;
  }
}

}  // namespace
