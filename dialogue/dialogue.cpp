#include "dialogue/dialogue.h"

#include "console/console.h"
#include "interpreter/machine.h"

namespace {
constexpr const char* kRefusal =
    "The Original VEK Interpreter does not support command line parameters.";
constexpr const char* kBanner = "The Original VEK Language Interpreter for Win32";
constexpr const char* kAttribution = "Written by the VEK project developers, 2026";
constexpr const char* kPrompt = "Enter your program (max. 700 characters): ";
constexpr const char* kEnd = "Program was end.";
}  // namespace

int Dialogue(int argc) {
  console::Open();
  if (argc > 1) {
    console::PutLine(kRefusal);
    console::Close();
    return 0;
  }
  d = c = b = a = 0;
  console::PutLine(kBanner);
  console::PutLine(kAttribution);
  console::PutText(kPrompt);
  console::ReadWord(prog, kProgSize);  // an empty read leaves the empty program
  console::StartKeys();
  ExecVek(0);
  console::PutLine("");
  console::PutLine(kEnd);
  console::ReadKey();
  console::Close();
  return 0;
}
