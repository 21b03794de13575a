// The transfer log: a text file of fixed-width columns, a header line in an empty file and one
// entry per file (name, status message, local date and time, size). The command-line host and
// the progress window write it through this class so the format exists once. The file is UTF-8
// and its columns count the cells a text takes on screen, not its bytes.
#pragma once
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

class TransferLog {
 public:
  TransferLog() = default;
  ~TransferLog();  // closes the file
  TransferLog(const TransferLog&) = delete;
  TransferLog& operator=(const TransferLog&) = delete;

  // Opens path (UTF-8) for appending when append is set; when that was not asked for or failed, the file
  // is created anew. A file found empty gets the header line. False when it cannot be opened.
  bool Open(const char* path, bool append);
  void Close();
  bool IsOpen() const { return file != nullptr; }

  // Writes one entry stamped with the local date and time now. Nothing without an open file.
  void AddEntry(const char* name, const char* message, uint32_t size);

  // The header line, ending with a line feed.
  static std::string Header();
  // One entry line for the given local time, ending with a line feed. Long names and messages
  // are kept whole (the log is where a user looks up which file it was) and push the later
  // columns right.
  static std::string Entry(const char* name, const char* message, const std::tm& local, uint32_t size);
  // The date as month/day/two-digit year and the time as 24-hour h:mm:ss, month, day and hour
  // without a leading zero (what the entries and the progress window's list show).
  static std::string DateText(const std::tm& local);
  static std::string TimeText(const std::tm& local);
  // The local time now.
  static std::tm LocalNow();

 private:
  // The C runtime's fopen for a UTF-8 path (TransferLogPosix.cpp, TransferLogWin32.cpp).
  static std::FILE* OpenFile(const char* path, const char* mode);

  std::FILE* file = nullptr;
};
