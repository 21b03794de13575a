// One directory search in the manner of the Windows find functions: the entries of a folder
// whose names match a wildcard pattern, one at a time. The platform file supplies the search
// and the path separators; the file-list walk of TransferFile is written once over this seam.
#pragma once
#include <cstdint>

class DirectorySearch {
 public:
  DirectorySearch() = default;
  ~DirectorySearch() { Close(); }
  DirectorySearch(const DirectorySearch&) = delete;
  DirectorySearch& operator=(const DirectorySearch&) = delete;

  // Starts a search of directory (empty: the current folder; otherwise ending in a separator
  // or a drive mark) for the names matching pattern, "." and ".." included when they match.
  // true with the first entry current; false (search closed) when nothing matches or the
  // folder cannot be read. A search already running is closed first.
  bool Start(const char* directory, const char* pattern);
  // Moves to the next matching entry; false (search closed) when none is left.
  bool Next();
  // The current entry's name without its folder ("" when no search runs).
  const char* Name() const;
  // Whether the current entry is a folder (symbolic links count as what they point to).
  bool IsDirectory() const;
  bool IsOpen() const { return state != nullptr; }
  void Close();

  // The separator this platform puts between folder names ("\\" or "/").
  static char Separator();
  // Whether c separates folder names in a path ("/" on POSIX; "\\" and "/" on Windows).
  static bool IsSeparator(char c);
  // Whether c ends a drive prefix (":" on Windows; nothing on POSIX).
  static bool IsDriveMark(char c);

  // Wildcard match with the Windows meaning: "*" any run of characters, "?" exactly one,
  // and a pattern ending in ".*" also matches the name without that part, so "*.*" matches
  // every name. Characters compare exactly (case counts).
  static bool Matches(const char* pattern, const char* name);

 private:
  struct State;  // the platform's search
  State* state = nullptr;
};
