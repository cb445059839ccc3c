// How the fast loop (fast.cpp) goes from one operation to the next. With
// computed goto (GCC and Clang) every handler ends in an indirect jump of its
// own through the operation's handler address, which the processor predicts
// handler by handler; elsewhere, and in the build that checks this portable
// path, a switch in a loop. CMake sets VEK_COMPUTED_GOTO to 1 or 0; nothing
// else chooses.
#pragma once

inline constexpr bool kComputedGoto = VEK_COMPUTED_GOTO != 0;

#if VEK_COMPUTED_GOTO
#define VEK_CASE(name) L_##name                 // a handler
#define VEK_ADDRESS(label) &&label              // a handler's or label's address
#define VEK_BEGIN(code) goto* kHandlers[code];  // enters the loop
#define VEK_NEXT(op) goto*(op)->label           // NOLINT(bugprone-macro-parentheses)
#define VEK_END
#else
#define VEK_CASE(name) case k##name
#define VEK_ADDRESS(label) nullptr
#define VEK_BEGIN(code) \
  for (;;) {            \
    switch (code) {
#define VEK_NEXT(op) continue
#define VEK_END \
  }             \
  }
#endif
