// POSIX file names are bytes: a name from the wire is used as it came, whatever its encoding.
#include "transfer/ReceiveRules.h"

const char ReceiveRules::kForbidden[] = "";

std::string ReceiveRules::NameFromWire(std::string_view wire) { return std::string(wire); }
