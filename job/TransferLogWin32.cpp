// Windows: fopen would take the path in the ANSI code page, so the wide open takes it as UTF-8.
#include "job/TransferLog.h"

#include <string>

#include "link/WideText.h"

std::FILE* TransferLog::OpenFile(const char* path, const char* mode) {
  return ::_wfopen(WideText::FilePath(path).c_str(), WideText::Widen(mode).c_str());
}
