// Every program in examples/ gives its documented output, through a pipe with
// no terminal and from a file with the keys typed on a terminal.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <fstream>
#include <sstream>
#include <string>

#include "tests/child.h"

namespace {

struct Example {
  const char* name;
  std::string keys;
  std::string out;  // between the prompt and the closing words
};

const Example kExamples[] = {
    {"hello", "", "Hello, World!\n"},
    {"countdown", "", "9876543210NULL\nSTOP\n"},
    {"alphabet", "", "ABCDEFGHIJKLMNOPQRSTUVWXYZ\nSTOP\n"},
    {"digits", "",
     "00 01 02 03 04 05 06 07 08 09 10 11 12 13 14 15 16 17 18 19 20 21 22 23 24 25 26 27 28 29 "
     "30 31 32 33 34 35 36 37 38 39 40 41 42 43 44 45 46 47 48 49 50 51 52 53 54 55 56 57 58 59 "
     "60 61 62 63 64 65 66 67 68 69 70 71 72 73 74 75 76 77 78 79 80 81 82 83 84 85 86 87 88 89 "
     "90 91 92 93 94 95 96 97 98 99 \nSTOP\n"},
    {"sums", "", "01 03 06 10 15 21 28 36 45 55 66 78 91 \nSTOP\n"},
    {"memtable", "", "ZYXWVUTSRQPONMLKJIHGFEDCBA\nSTOP\n"},
    {"echo", "Hi there!\r", "Hi there!STOP\n"},
    {"add", "34", "3+4=07\n"},
};
void PrintTo(const Example& e, std::ostream* os) {
  *os << e.name;
}

std::string Program(const char* name) {
  std::ifstream file(std::string(VEK_EXAMPLES) + "/" + name + ".vek", std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

const std::string kPrompt = "Enter your program (max. 700 characters): ";
using child::kEnd;

class ExampleTest : public testing::TestWithParam<Example> {};

TEST_P(ExampleTest, ThroughPipe) {
  const Example& e = GetParam();
  const auto r = child::RunPiped({}, Program(e.name) + "\n" + e.keys);
  ASSERT_TRUE(WIFEXITED(r.status));
  const auto at = r.out.find(kPrompt);
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(r.out.substr(at + kPrompt.size()), e.out + kEnd);
}

TEST_P(ExampleTest, KeysFromTerminal) {
  const Example& e = GetParam();
  child::Pty pty({}, Program(e.name));
  ASSERT_TRUE(pty.Expect(kPrompt));
  pty.Type(e.keys);
  ASSERT_TRUE(pty.Expect("Program was end.\r\n"));
  pty.Type("k");
  ASSERT_TRUE(WIFEXITED(pty.Wait()));
  EXPECT_EQ(pty.Screen().substr(pty.Screen().find(kPrompt) + kPrompt.size()),
            child::OnScreen(e.out + kEnd));
}

INSTANTIATE_TEST_SUITE_P(Examples, ExampleTest, testing::ValuesIn(kExamples),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
