// Windows directory search: FindFirstFileW / FindNextFileW / FindClose, whose own pattern
// matching (case-insensitive, "*.*" for everything) is the behaviour the portable walk expects.
// Names go in and come out as UTF-8.
#include "transfer/DirectorySearch.h"

#include <windows.h>

#include <new>
#include <string>

#include "link/WideText.h"

struct DirectorySearch::State {
  HANDLE handle = INVALID_HANDLE_VALUE;
  WIN32_FIND_DATAW data{};
  std::string name;  // data's name as UTF-8
};

bool DirectorySearch::Start(const char* directory, const char* pattern) {
  Close();
  if (directory == nullptr || pattern == nullptr || *pattern == '\0') return false;
  auto* found = new (std::nothrow) State;
  if (found == nullptr) return false;
  found->handle = ::FindFirstFileW(WideText::FilePath(std::string(directory) + pattern).c_str(), &found->data);
  if (found->handle == INVALID_HANDLE_VALUE) {
    delete found;
    return false;
  }
  found->name = WideText::Narrow(found->data.cFileName);
  state = found;
  return true;
}

bool DirectorySearch::Next() {
  if (state == nullptr) return false;
  if (!::FindNextFileW(state->handle, &state->data)) {
    Close();
    return false;
  }
  state->name = WideText::Narrow(state->data.cFileName);
  return true;
}

const char* DirectorySearch::Name() const {
  return state != nullptr ? state->name.c_str() : "";
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
