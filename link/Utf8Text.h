#pragma once
// Texts inside the product are UTF-8 on every platform: names typed by users, names from the
// wire, registry texts and log lines. These are the few rules every floor needs about them.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class Utf8Text {
 public:
  // The character starting at `at`, and `at` moved past it; -1 (and one byte consumed) for a
  // byte that does not start a well-formed sequence: overlong forms, surrogates and values past
  // U+10FFFF are malformed, so no other spelling of '/', '.' or NUL ever decodes to them.
  static int32_t Next(std::string_view text, size_t& at);
  // True when the whole text is well-formed UTF-8.
  static bool IsValid(std::string_view text);
  // Terminal cells the text takes: East Asian wide and full-width characters and emoji take
  // two, combining marks and zero-width characters none, anything malformed one per byte.
  static size_t Columns(std::string_view text);
  // The longest leading part that fits in `columns` cells without splitting a character.
  static size_t FitBytes(std::string_view text, size_t columns);
  // The text, then blanks up to `columns` cells (none when it takes more): fixed-width columns
  // that line up on a terminal whatever script a name is in.
  static std::string Padded(std::string_view text, size_t columns);
  // Cells one character takes (see Columns).
  static int CharColumns(int32_t c);
};
