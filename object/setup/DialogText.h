// How the setup pages read and write the texts of their controls: numbers the way a dialog's
// number fields read them, and texts cut to the room of their field.
#pragma once
#include <cstdint>
#include <string>

class DialogText {
 public:
  // The unsigned decimal number the text holds (blanks around it allowed); 0 when it holds
  // anything else or a number beyond 32 bits, as an unreadable field gives.
  static uint32_t Unsigned(const std::string& text);
  // The signed number; false when the text is not one (or does not fit 32 bits).
  static bool Signed(const std::string& text, int32_t& value);
  static std::string Number(uint32_t value) { return std::to_string(value); }
  // The text cut to at most maxChars characters, counted as an edit control's limit counts
  // them (see TransferSettings::Cut).
  static std::string Cut(const std::string& text, size_t maxChars);
};
