// The files a user picked in the file prompt, as the file-open dialog hands them back: one full
// path, or a folder followed by the names chosen in it.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

struct FileSelection {
  std::string folder;              // empty when a single file was chosen
  std::vector<std::string> names;  // the single file's full path, or the names in folder

  // From the dialog's buffer: strings each ended by a NUL, the list by an empty one (or by the
  // end of the buffer).
  static FileSelection FromBuffer(const char* buffer, size_t size);
  // The path of one chosen file: the folder, a backslash and the name; a folder that already
  // ends with a backslash (a drive root) gets no second one.
  std::string PathOf(size_t index) const;
  // Every chosen file's path, joined by ";".
  std::string JoinedPaths() const;
};
