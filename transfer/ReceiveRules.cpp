// The receivers' shared rules for names, announced lengths and existing files.
#include "transfer/ReceiveRules.h"

#include <algorithm>
#include <cctype>
#include <cstring>

bool ReceiveRules::NamesDevice(const char* part, size_t length) {
  size_t n = 0;
  while (n < length && part[n] != '.') ++n;
  while (n > 0 && part[n - 1] == ' ') --n;
  char base[8] = {};
  if (n == 0 || n >= sizeof base) return false;
  for (size_t i = 0; i < n; ++i) base[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(part[i])));
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
  for (const char* device : kDevices)
    if (std::strcmp(base, device) == 0) return true;
  if (std::strncmp(base, "COM", 3) != 0 && std::strncmp(base, "LPT", 3) != 0) return false;
  // Windows also takes the superscript digits 1, 2 and 3 (U+00B9, U+00B2, U+00B3) as port numbers.
  const std::string_view number(base + 3, n - 3);
  return (number.size() == 1 && number[0] >= '0' && number[0] <= '9') || number == "\xC2\xB9" ||
         number == "\xC2\xB2" || number == "\xC2\xB3";
}

bool ReceiveRules::NameIsSafe(const char* name) {
  if (name[0] == '\0' || name[0] == '/' || name[0] == '\\' || std::strcmp(name, ".") == 0) return false;
  const char* start = name;
  for (const char* p = name;; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    const bool c1 = c == 0xC2 && static_cast<unsigned char>(p[1]) >= 0x80 && static_cast<unsigned char>(p[1]) <= 0x9F;
    if ((c != 0 && c < 0x20) || c == 0x7F || c1 || c == ':' || (c != 0 && std::strchr(kForbidden, c))) return false;
    if (c == '/' || c == '\\' || c == 0) {
      const size_t length = static_cast<size_t>(p - start);
      // Windows drops a part's trailing dots and blanks: ". ." or "..." would become ".." or nothing.
      const bool dotsAndBlanks = std::strspn(start, ". ") >= length && !(length == 1 && start[0] == '.');
      if (length > 255 || dotsAndBlanks || NamesDevice(start, length)) return false;
      if (c == 0) return true;
      start = p + 1;
    }
  }
}

void ReceiveRules::ShowRefusedName(const char* name, size_t length, bool namePart, char* out) {
  size_t from = 0;
  if (namePart) {
    size_t slash = 0, colon = 0;
    for (size_t i = 0; i < length; ++i) {
      if (name[i] == '/' || name[i] == '\\') slash = i + 1;
      if (name[i] == ':') colon = i + 1;
    }
    from = slash ? slash : colon;
    if (from == length) from = 0;
  }
  size_t n = std::min(length - from, kShownBytes);
  // Not in the middle of a UTF-8 character.
  if (n < length - from)
    while (n > 0 && (static_cast<unsigned char>(name[from + n]) & 0xC0) == 0x80) --n;
  size_t shown = 0;
  for (size_t i = 0; i < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(name[from + i]);
    // A C1 control in UTF-8 (U+0080..U+009F) is one '?' too: some terminals act on it.
    const bool c1 = c == 0xC2 && i + 1 < n && (static_cast<unsigned char>(name[from + i + 1]) & 0xE0) == 0x80;
    out[shown++] = c < 0x20 || c == 0x7F || c1 ? '?' : static_cast<char>(c);
    i += c1 ? 1 : 0;
  }
  std::strcpy(out + shown, n < length - from ? "..." : "");
}

int32_t ReceiveRules::ParseSizeAndTime(const char* text, int64_t& size, int64_t& time) {
  auto skipSpace = [](const char*& p) {
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  };
  const char* p = text;
  skipSpace(p);
  bool negative = false;
  if (*p == '-' || *p == '+') negative = *p++ == '-';
  if (*p < '0' || *p > '9') return 0;
  int64_t v = 0;
  for (; *p >= '0' && *p <= '9'; ++p) v = v > 0xFFFFFFFFLL ? v : v * 10 + (*p - '0');
  size = negative ? -v : v;
  skipSpace(p);
  if (*p == '+') ++p;
  if (*p < '0' || *p > '7') return 1;
  int64_t t = 0;
  for (; *p >= '0' && *p <= '7'; ++p) t = t > 0xFFFFFFFFLL ? t : t * 8 + (*p - '0');
  time = t;
  return 2;
}

ReceiveRules::Existing ReceiveRules::Decide(int32_t management, int64_t size, int64_t time, int64_t length,
                                            int64_t announcedTime) {
  bool take;
  switch (management) {
    case 1:
      take = time < announcedTime && size < length;
      break;
    case 2:
    case 4:
      return Existing::Replace;
    case 3:
      return Existing::Append;
    case 5:
      take = time < announcedTime;
      break;
    case 6:
      take = time != announcedTime && size != length;
      break;
    default:
      return Existing::Refuse;
  }
  return take ? Existing::Replace : Existing::Skip;
}
