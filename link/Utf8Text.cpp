#include "link/Utf8Text.h"

int32_t Utf8Text::Next(std::string_view text, size_t& at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  int more;
  int32_t c, least;
  if (lead < 0x80) {
    ++at;
    return lead;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    more = 1, c = lead & 0x1F, least = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    more = 2, c = lead & 0x0F, least = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    more = 3, c = lead & 0x07, least = 0x10000;
  } else {
    ++at;
    return -1;
  }
  if (text.size() - at <= static_cast<size_t>(more)) {
    ++at;
    return -1;
  }
  for (int i = 1; i <= more; ++i) {
    const unsigned char b = byte(at + static_cast<size_t>(i));
    if ((b & 0xC0) != 0x80) {
      ++at;
      return -1;
    }
    c = (c << 6) | (b & 0x3F);
  }
  if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
    ++at;
    return -1;
  }
  at += static_cast<size_t>(more) + 1;
  return c;
}

bool Utf8Text::IsValid(std::string_view text) {
  for (size_t at = 0; at < text.size();)
    if (Next(text, at) < 0) return false;
  return true;
}

int Utf8Text::CharColumns(int32_t c) {
  if (c < 0) return 1;
  // Combining marks, zero-width spaces and joiners, variation selectors.
  if ((c >= 0x0300 && c <= 0x036F) || (c >= 0x1AB0 && c <= 0x1AFF) || (c >= 0x1DC0 && c <= 0x1DFF) ||
      (c >= 0x200B && c <= 0x200F) || (c >= 0x20D0 && c <= 0x20FF) || (c >= 0xFE00 && c <= 0xFE0F) ||
      (c >= 0xFE20 && c <= 0xFE2F) || c == 0xFEFF || (c >= 0xE0100 && c <= 0xE01EF))
    return 0;
  // Wide: Hangul Jamo, CJK and its punctuation, kana, Hangul, full-width forms, emoji.
  if ((c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) || (c >= 0x3041 && c <= 0x33FF) ||
      (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
      (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
      (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1F64F) ||
      (c >= 0x1F900 && c <= 0x1F9FF) || (c >= 0x1F680 && c <= 0x1F6FF) || (c >= 0x20000 && c <= 0x3FFFD))
    return 2;
  return 1;
}

size_t Utf8Text::Columns(std::string_view text) {
  size_t columns = 0;
  for (size_t at = 0; at < text.size();) columns += static_cast<size_t>(CharColumns(Next(text, at)));
  return columns;
}

std::string Utf8Text::Padded(std::string_view text, size_t columns) {
  std::string padded(text);
  const size_t used = Columns(padded);
  if (used < columns) padded.append(columns - used, ' ');
  return padded;
}

size_t Utf8Text::FitBytes(std::string_view text, size_t columns) {
  size_t used = 0, at = 0;
  while (at < text.size()) {
    size_t next = at;
    const size_t width = static_cast<size_t>(CharColumns(Next(text, next)));
    if (used + width > columns) break;
    used += width;
    at = next;
  }
  return at;
}
