// What bounds a run: the tests stop one after a number of steps or jumps to
// compare it with the reference loop; the page stops one at breakpoints,
// before a key read while no key is waiting, or when a watched value
// changes, and counts the steps run at each position. The product's runs
// have no limits and pay nothing for them: each loop is a template on
// whether it is bounded.
#pragma once

#include <cstdint>

struct Limits {
  // Left to run, taken off as they run. A run stops before a step past its
  // steps (the loops), or instead of the jump past its jumps (the reference
  // loop and native code).
  std::uint64_t steps = UINT64_MAX;
  std::uint64_t jumps = UINT64_MAX;
  // 701 entries: a run stops on arriving at a marked position, not at the
  // one it starts at.
  const bool* breakpoints = nullptr;
  // Handed to each hook below: whatever state its owner keeps.
  void* context = nullptr;
  // A run stops before a key read while this says (0) that no key is
  // waiting. Native code calls it as it calls out to the console.
  std::int32_t (*key_waiting)(void* context) = nullptr;
  // The reference loop only: steps run at each position (700 entries), and,
  // before each step but the first, whether the run may go on.
  std::uint32_t* counts = nullptr;
  bool (*go_on)(void* context) = nullptr;
};
