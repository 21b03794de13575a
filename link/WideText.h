#pragma once
// Windows only: the system's texts are UTF-16, the product's are UTF-8 (see Utf8Text). Every
// call into a W function converts here, so no text ever passes through the ANSI code page.

#include <string>
#include <string_view>

class WideText {
 public:
  // Malformed UTF-8 becomes U+FFFD, never a character that means something to the system.
  static std::wstring Widen(std::string_view utf8);
  // Unpaired surrogates become U+FFFD.
  static std::string Narrow(std::wstring_view utf16);
  // Bytes in the ANSI code page (an old sender's name, an old log) as UTF-8.
  static std::string FromAnsi(std::string_view ansi);
  // A file or folder name for the W file functions. One too long for the classic limit is made
  // whole ("." and ".." resolved, "/" as "\\") and given the \\?\ form, in which the system
  // takes names of up to 32767 characters; shorter names are only widened.
  static std::wstring FilePath(std::string_view utf8);
};
