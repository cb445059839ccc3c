// The real vek binary, driven through a pseudo-terminal and through pipes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <string>

#include "tests/child.h"

namespace {

const std::string kGreeting =
    "The Original VEK Language Interpreter for Win32\n"
    "Written by the VEK project developers, 2026\n"
    "Enter your program (max. 700 characters): ";
const std::string kEnd = "\nProgram was end.\n";

bool ExitedZero(int status) {
  return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// --- No terminal: everything through pipes. -------------------------------

struct PipeCase {
  const char* name;
  std::string input;
  std::string out;  // what follows the greeting
};

const PipeCase kPipeCases[] = {
    {"stop", "^\n", "STOP\n" + kEnd},
    {"null", "N", "NULL\n" + kEnd},
    {"no_input", "", kEnd},
    {"blank_lines_first", "\n \t\r\n\v\f N", "NULL\n" + kEnd},
    {"rest_of_line_never_a_key", ",.,.^ zz\nkq", "kqSTOP\n" + kEnd},
    {"keys_after_word_ending_line", ",.^\nk", "kSTOP\n" + kEnd},
    {"key_at_end_of_input", ",@#.:^", "0/STOP\n" + kEnd},
    {"exactly_700", std::string(699, 'x') + "N", "NULL\n" + kEnd},
    {"over_700_runs_first_700", std::string(700, 'x') + "N", kEnd},
};
void PrintTo(const PipeCase& t, std::ostream* os) {
  *os << t.name;
}

class PipeTest : public testing::TestWithParam<PipeCase> {};

TEST_P(PipeTest, ExactOutput) {
  const auto r = child::RunPiped({}, GetParam().input);
  EXPECT_TRUE(ExitedZero(r.status));
  EXPECT_EQ(r.out, kGreeting + GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(NoTerminal, PipeTest, testing::ValuesIn(kPipeCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(NoTerminal, ArgumentRefused) {
  const auto r = child::RunPiped({"x"}, "^\n");
  EXPECT_TRUE(ExitedZero(r.status));
  EXPECT_EQ(r.out, "The Original VEK Interpreter does not support command line parameters.\n");
  EXPECT_EQ(r.err, "");
}

TEST(NoTerminal, StandardErrorOnlyForOverlongWord) {
  EXPECT_EQ(child::RunPiped({}, "N^\n").err, "");
  const auto r = child::RunPiped({}, std::string(100000, '!') + "\n");
  EXPECT_EQ(r.out, kGreeting + kEnd);
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
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
  EXPECT_TRUE(ExitedZero(pty.Wait()));
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
  EXPECT_TRUE(ExitedZero(pty.Wait()));
  EXPECT_EQ(pty.Screen(), child::OnScreen(kGreeting + ",@#.:,.^ zz\n13kSTOP\n" + kEnd));
}

TEST(Terminal, ProgramFromPipeKeysFromTerminal) {
  // Standard input is a pipe, yet keys still come from the terminal, not echoed.
  child::Pty pty({}, ",.^ zz\nyy");
  ASSERT_TRUE(pty.Expect("characters): "));
  pty.Type("k");
  ASSERT_TRUE(pty.Expect("Program was end.\r\n"));
  pty.Type("q");
  EXPECT_TRUE(ExitedZero(pty.Wait()));
  EXPECT_EQ(pty.Screen(), child::OnScreen(kGreeting + "kSTOP\n" + kEnd));
}

// Ctrl-C ends the run or the final wait, and the terminal is as it was.
struct InterruptCase {
  const char* name;
  std::string program;
  std::string wait_for;
};

const InterruptCase kInterruptCases[] = {
    {"endless_loop", "=^\r", "=^\r\n"},
    {"final_wait", "N\r", "Program was end.\r\n"},
};
void PrintTo(const InterruptCase& t, std::ostream* os) {
  *os << t.name;
}

class InterruptTest : public testing::TestWithParam<InterruptCase> {};

TEST_P(InterruptTest, CtrlCRestoresTerminal) {
  child::Pty pty;
  const termios before = pty.Settings();
  ASSERT_TRUE(pty.Expect("characters): "));
  pty.Type(GetParam().program);
  ASSERT_TRUE(pty.Expect(GetParam().wait_for));
  ASSERT_TRUE(pty.AwaitKeyMode());
  pty.Type("\x03");
  const int status = pty.Wait();
  ASSERT_NE(status, -1);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT);
  EXPECT_TRUE(child::SameSettings(pty.Settings(), before));
}

INSTANTIATE_TEST_SUITE_P(Terminal, InterruptTest, testing::ValuesIn(kInterruptCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
