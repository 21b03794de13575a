#include "object/setup/DialogText.h"

#include <cctype>

#include "job/TransferSettings.h"

namespace {
// Parses [blanks][sign]digits[blanks] into a 64-bit magnitude; false on anything else or when
// the digits run past what 32 bits could ever hold.
bool Parse(const std::string& text, bool allowSign, bool& negative, uint64_t& magnitude) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  negative = false;
  if (allowSign && i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  size_t digits = 0;
  magnitude = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i, ++digits) {
    magnitude = magnitude * 10 + static_cast<uint64_t>(text[i] - '0');
    if (magnitude > 0xFFFFFFFFull) return false;
  }
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  return digits > 0 && i == text.size();
}
}  // namespace

uint32_t DialogText::Unsigned(const std::string& text) {
  bool negative;
  uint64_t magnitude;
  return Parse(text, false, negative, magnitude) ? static_cast<uint32_t>(magnitude) : 0;
}

bool DialogText::Signed(const std::string& text, int32_t& value) {
  bool negative;
  uint64_t magnitude;
  if (!Parse(text, true, negative, magnitude)) return false;
  if (magnitude > (negative ? 0x80000000ull : 0x7FFFFFFFull)) return false;
  value = static_cast<int32_t>(negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude));
  return true;
}

std::string DialogText::Cut(const std::string& text, size_t maxChars) {
  return TransferSettings::Cut(text, maxChars + 1);
}
