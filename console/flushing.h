// Shared between the output buffer and the platform's signal handlers.
#pragma once

#include <csignal>

namespace console {
// Set while the buffer is being written out.
inline volatile std::sig_atomic_t flushing = 0;
}  // namespace console
