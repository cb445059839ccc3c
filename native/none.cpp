// The back end of a build that has none: ExecVek runs the fast loop.
#include "native/backend.h"

native::Backend* native::TheBackend() {
  return nullptr;
}
