// POSIX directory search: readdir plus the portable wildcard match. The matching names are
// read at the start and sorted without regard to case, so a walk gives the same order every
// time, as the Windows search does on its usual file systems.
#include "transfer/DirectorySearch.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

struct DirectorySearch::State {
  struct Entry {
    std::string name;
    bool directory;
  };
  std::vector<Entry> entries;
  size_t current = 0;
};

namespace {
bool IsFolder(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool HasWildcard(const char* pattern) { return std::strpbrk(pattern, "*?") != nullptr; }
}  // namespace

bool DirectorySearch::Start(const char* directory, const char* pattern) {
  Close();
  if (directory == nullptr || pattern == nullptr || *pattern == '\0') return false;
  // Allocation failures end the search as "nothing found": no exception leaves here.
  try {
    auto found = std::make_unique<State>();
    const std::string folder = *directory != '\0' ? directory : "./";
    if (!HasWildcard(pattern)) {
      // A plain name needs no listing: one status call instead of a scan of the folder.
      struct stat info {};
      if (::stat((folder + pattern).c_str(), &info) == 0) {
        found->entries.push_back({pattern, S_ISDIR(info.st_mode)});
      }
    } else if (DIR* opened = ::opendir(folder.c_str())) {
      const std::unique_ptr<DIR, int (*)(DIR*)> dir(opened, ::closedir);
      while (const dirent* entry = ::readdir(dir.get())) {
        if (!Matches(pattern, entry->d_name)) continue;
        // The entry type spares a status call, except where the file system does not say
        // or the entry is a link (which counts as what it points to).
        const bool isFolder = entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK
                                  ? IsFolder(folder + entry->d_name)
                                  : entry->d_type == DT_DIR;
        found->entries.push_back({entry->d_name, isFolder});
      }
    }
    if (found->entries.empty()) return false;
    std::sort(found->entries.begin(), found->entries.end(),
              [](const State::Entry& a, const State::Entry& b) {
                const int order = ::strcasecmp(a.name.c_str(), b.name.c_str());
                return order != 0 ? order < 0 : a.name < b.name;
              });
    state = found.release();
    return true;
  } catch (...) {
    Close();
    return false;
  }
}

bool DirectorySearch::Next() {
  if (state == nullptr) return false;
  if (++state->current >= state->entries.size()) {
    Close();
    return false;
  }
  return true;
}

const char* DirectorySearch::Name() const {
  return state != nullptr ? state->entries[state->current].name.c_str() : "";
}

bool DirectorySearch::IsDirectory() const {
  return state != nullptr && state->entries[state->current].directory;
}

void DirectorySearch::Close() {
  delete state;
  state = nullptr;
}

char DirectorySearch::Separator() { return '/'; }
bool DirectorySearch::IsSeparator(char c) { return c == '/'; }
bool DirectorySearch::IsDriveMark(char) { return false; }
