// The user dialogue: banner, prompt, one program read and run, closing words,
// one key to end. argc counts the command-line words, the program name
// included; the result is the exit status.
#pragma once

int Dialogue(int argc);
