#include "console/console.h"

#include "console/platform.h"

namespace console {

void Open() {
  out_limit = platform::Open() ? 1 : kOutSize;
}

void StartKeys() {
  platform::StartKeys();
}

void Close() {
  Flush();
  platform::Close();
}

}  // namespace console
