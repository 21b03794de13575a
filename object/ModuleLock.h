// The module's lock count: every live object and every LockServer(TRUE) holds one, and the
// module may be unloaded only when none is held. Safe from any thread.
#pragma once
#include <cstdint>

class ModuleLock {
 public:
  static void Add();
  static void Release();
  static int32_t Count();
};
