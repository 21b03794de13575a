#include "modem/StatusSink.h"

#include <cstdarg>
#include <cstdio>

void StatusSink::SetStatus(const char* format, ...) {
  char text[kStatusRoom];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  ShowStatus(text);
}
