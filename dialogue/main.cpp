#include "dialogue/dialogue.h"

int main(int argc, char** /*argv*/) {
  return Dialogue(argc);
}
