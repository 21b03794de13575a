// The process's lists on Windows: the system registry, with the branch the running system's
// family keeps its modems in.
#include "modem/DeviceLists.h"

#include <windows.h>

#include "modem/RegistryKey.h"

namespace {
bool IsNtFamily() {
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
  // Deprecated, but the platform number it gives is the one thing asked, and it is still right.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  const BOOL known = GetVersionExW(&info);
#pragma GCC diagnostic pop
  return known && info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}
}  // namespace

DeviceLists& DeviceLists::Process() {
  static DeviceLists lists = [] {
    DeviceLists found;
    if (std::unique_ptr<RegistryKey> machine = Registry::LocalMachine())
      found.BuildFromRegistry(*machine, IsNtFamily());
    return found;
  }();
  return lists;
}
