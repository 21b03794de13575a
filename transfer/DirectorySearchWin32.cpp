// Windows directory search: FindFirstFileA / FindNextFileA / FindClose, whose own pattern
// matching (case-insensitive, "*.*" for everything) is the behaviour the portable walk expects.
#include "transfer/DirectorySearch.h"

#include <windows.h>

#include <cstring>
#include <new>

struct DirectorySearch::State {
  HANDLE handle = INVALID_HANDLE_VALUE;
  WIN32_FIND_DATAA data{};
};

bool DirectorySearch::Start(const char* directory, const char* pattern) {
  Close();
  if (directory == nullptr || pattern == nullptr || *pattern == '\0') return false;
  const size_t folderLength = std::strlen(directory);
  const size_t patternLength = std::strlen(pattern);
  char path[MAX_PATH * 2];
  if (folderLength + patternLength >= sizeof path) return false;  // refused as not found
  std::memcpy(path, directory, folderLength);
  std::memcpy(path + folderLength, pattern, patternLength + 1);
  auto* found = new (std::nothrow) State;
  if (found == nullptr) return false;
  found->handle = ::FindFirstFileA(path, &found->data);
  if (found->handle == INVALID_HANDLE_VALUE) {
    delete found;
    return false;
  }
  state = found;
  return true;
}

bool DirectorySearch::Next() {
  if (state == nullptr) return false;
  if (!::FindNextFileA(state->handle, &state->data)) {
    Close();
    return false;
  }
  return true;
}

const char* DirectorySearch::Name() const {
  return state != nullptr ? state->data.cFileName : "";
}

bool DirectorySearch::IsDirectory() const {
  return state != nullptr && (state->data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void DirectorySearch::Close() {
  if (state == nullptr) return;
  ::FindClose(state->handle);
  delete state;
  state = nullptr;
}

char DirectorySearch::Separator() { return '\\'; }
bool DirectorySearch::IsSeparator(char c) { return c == '\\' || c == '/'; }
bool DirectorySearch::IsDriveMark(char c) { return c == ':'; }
