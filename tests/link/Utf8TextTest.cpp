#include "link/Utf8Text.h"

#include <gtest/gtest.h>

#include <string>

// Spellings a hostile sender uses to smuggle '/', '.', NUL or a surrogate past a name check: none
// of them may decode to a character.
TEST(Utf8Text, MalformedSpellingsNeverDecode) {
  const std::string malformed[] = {
      "\xC0\xAF",          // overlong '/'
      "\xC0\xAE\xC0\xAE",  // overlong ".."
      "\xE0\x80\xAF",      // three-byte overlong '/'
      "\xF0\x80\x80\xAF",  // four-byte overlong '/'
      "\xC0\x80",          // overlong NUL
      "\xED\xA0\x80",      // surrogate
      "\xF4\x90\x80\x80",  // past U+10FFFF
      "\xE6\x97",          // cut short
      "\x80",              // lone continuation
      "\xFF",
  };
  for (const std::string& text : malformed) {
    EXPECT_FALSE(Utf8Text::IsValid(text)) << text;
    size_t at = 0;
    EXPECT_EQ(-1, Utf8Text::Next(text, at));
    EXPECT_EQ(1u, at) << "one byte consumed, so the next one is looked at on its own";
  }
  EXPECT_TRUE(Utf8Text::IsValid("\xC3\x9C" "berweisung-\xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x93\xA6"));
}
