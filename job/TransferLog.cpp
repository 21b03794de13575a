// Fixed-width log lines through the C runtime's text files.
#include "job/TransferLog.h"

#include <ctime>

#include "link/Utf8Text.h"

TransferLog::~TransferLog() { Close(); }

bool TransferLog::Open(const char* path, bool append) {
  Close();
  if (append) file = OpenFile(path, "a+");
  if (!file) file = OpenFile(path, "w+");
  if (!file) return false;
  // "a+" leaves the position at the start until the first write on some C runtimes, so look at
  // the end explicitly before deciding whether the file is empty.
  std::fseek(file, 0, SEEK_END);
  if (std::ftell(file) == 0) {
    const std::string header = Header();
    std::fputs(header.c_str(), file);
    std::fflush(file);
  }
  return true;
}

void TransferLog::Close() {
  if (file) std::fclose(file);
  file = nullptr;
}

void TransferLog::AddEntry(const char* name, const char* message, uint32_t size) {
  if (!file) return;
  const std::string line = Entry(name, message, LocalNow(), size);
  std::fputs(line.c_str(), file);
  std::fflush(file);  // an entry survives a host that dies later in the run
}

std::string TransferLog::Header() {
  char line[128];
  std::snprintf(line, sizeof line, "%-40s %-30s DATE       TIME       SIZE\n", "FILENAME", "STATUS");
  return line;
}

std::string TransferLog::Entry(const char* name, const char* message, const std::tm& local,
                               uint32_t size) {
  return Utf8Text::Padded(name, 40) + ' ' + Utf8Text::Padded(message, 30) + ' ' +
         Utf8Text::Padded(DateText(local), 10) + ' ' + Utf8Text::Padded(TimeText(local), 10) + ' ' +
         std::to_string(size) + '\n';
}

std::string TransferLog::DateText(const std::tm& local) {
  char text[81];
  std::snprintf(text, sizeof text, "%d/%d/%02d", local.tm_mon + 1, local.tm_mday, local.tm_year % 100);
  return text;
}

std::string TransferLog::TimeText(const std::tm& local) {
  char text[81];
  std::snprintf(text, sizeof text, "%d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
  return text;
}

std::tm TransferLog::LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  const std::tm* p = std::localtime(&now);  // the log is written by one thread at a time
  if (p) local = *p;
  return local;
}
