// POSIX paths are bytes: the UTF-8 name opens as it is.
#include "job/TransferLog.h"

std::FILE* TransferLog::OpenFile(const char* path, const char* mode) { return std::fopen(path, mode); }
