#include "console/console.h"

#include "console/platform.h"

namespace console {

void Open() {
  out_direct = platform::Open();
}

void StartKeys() {
  platform::StartKeys();
}

void Close() {
  Flush();
  platform::Close();
}

}  // namespace console
