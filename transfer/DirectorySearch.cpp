// The portable part of the directory search: wildcard matching with the Windows meaning,
// for platforms whose own search has no patterns.
#include "transfer/DirectorySearch.h"

#include <cstring>

namespace {
// "*" and "?" over the whole name; iterative with one back-track point, so a long run of
// stars cannot blow up.
bool Glob(const char* pattern, size_t patternLength, const char* name) {
  size_t p = 0;
  const char* n = name;
  size_t starAt = static_cast<size_t>(-1);
  const char* starName = nullptr;
  while (*n != '\0') {
    if (p < patternLength && (pattern[p] == '?' || pattern[p] == *n)) {
      ++p;
      ++n;
    } else if (p < patternLength && pattern[p] == '*') {
      starAt = p++;
      starName = n;
    } else if (starName != nullptr) {
      p = starAt + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (p < patternLength && pattern[p] == '*') ++p;
  return p == patternLength;
}
}  // namespace

bool DirectorySearch::Matches(const char* pattern, const char* name) {
  if (pattern == nullptr || name == nullptr) return false;
  const size_t length = std::strlen(pattern);
  if (Glob(pattern, length, name)) return true;
  // Windows treats a trailing ".*" as "with any extension or none": "*.*" is everything.
  return length >= 2 && pattern[length - 2] == '.' && pattern[length - 1] == '*' &&
         Glob(pattern, length - 2, name);
}
