// The help seam's portable part: the missing-file guard in front of whichever viewer is set.
#include "job/Help.h"

#include <atomic>
#include <cstdio>

namespace {
std::atomic<Help::Viewer> installed{nullptr};

bool Exists(const char* file) {
  if (!file || !file[0]) return false;
  std::FILE* f = std::fopen(file, "rb");
  if (!f) return false;
  std::fclose(f);
  return true;
}
}  // namespace

bool Help::Show(const char* file, int32_t context, void* owner) {
  if (!Exists(file)) return false;
  const Viewer viewer = installed.load();
  return viewer ? viewer(file, context, owner) : PlatformShow(file, context, owner);
}

void Help::Install(Viewer viewer) { installed = viewer; }
