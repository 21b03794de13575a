// The transfer log: a text file of fixed-width columns, a header line in an empty file and one
// entry per file (name, status message, local date and time, size). The command-line host and
// the progress window write it through this class so the format exists once.
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

  // Opens path for appending when append is set; when that was not asked for or failed, the file
  // is created anew. A file found empty gets the header line. False when it cannot be opened.
  bool Open(const char* path, bool append);
  void Close();
  bool IsOpen() const { return file != nullptr; }

  // Writes one entry stamped with the local date and time now. Nothing without an open file.
  void AddEntry(const char* name, const char* message, uint32_t size);

  // The header line, ending with a line feed.
  static std::string Header();
  // One entry line for the given local time, ending with a line feed. Long names and messages
  // are kept whole and push the later columns right.
  static std::string Entry(const char* name, const char* message, const std::tm& local, uint32_t size);
  // The date as month/day/two-digit year and the time as 24-hour h:mm:ss, month, day and hour
  // without a leading zero (what the entries and the progress window's list show).
  static std::string DateText(const std::tm& local);
  static std::string TimeText(const std::tm& local);
  // The local time now.
  static std::tm LocalNow();

 private:
  std::FILE* file = nullptr;
};
