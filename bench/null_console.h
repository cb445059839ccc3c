// The console of the benchmark's own process, where it counts steps: output
// is dropped, keys come from what FeedKeys was given, then -1.
#pragma once

#include <string_view>

namespace bench {
void FeedKeys(std::string_view keys);
}  // namespace bench
