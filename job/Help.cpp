// The help seam's portable part: the missing-file guard in front of whichever viewer is set.
#include "job/Help.h"

#include <atomic>
#include <filesystem>
#include <system_error>

namespace {
std::atomic<Help::Viewer> installed{nullptr};

bool Exists(const char* file) {
  if (!file || !file[0]) return false;
  // The name is UTF-8; on Windows u8path reaches the file by its UTF-16 name.
  std::error_code failed;
  return std::filesystem::is_regular_file(std::filesystem::u8path(file), failed);
}
}  // namespace

bool Help::Show(const char* file, int32_t context, void* owner) {
  if (!Exists(file)) return false;
  const Viewer viewer = installed.load();
  return viewer ? viewer(file, context, owner) : PlatformShow(file, context, owner);
}

void Help::Install(Viewer viewer) { installed = viewer; }
