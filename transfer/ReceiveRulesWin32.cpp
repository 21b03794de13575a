// Windows file names are UTF-16: a name that is not UTF-8 comes from a sender that used its
// ANSI code page, as every older Windows program does.
#include "transfer/ReceiveRules.h"

#include "link/Utf8Text.h"
#include "link/WideText.h"

const char ReceiveRules::kForbidden[] = "<>\"|?*";

std::string ReceiveRules::NameFromWire(std::string_view wire) {
  return Utf8Text::IsValid(wire) ? std::string(wire) : WideText::FromAnsi(wire);
}
