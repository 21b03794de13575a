// The zandrel host's progress view: the job's status line, files and counts on a stream
// (standard error), a live line redrawn in place on a terminal or one line per file otherwise,
// and the transfer log. Names come from the remote, so control characters are shown as \xNN;
// texts are UTF-8 and reach the console through Console::Write.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

#include "job/ProgressView.h"
#include "job/TransferLog.h"

struct TransferSettings;

class ConsoleView : public ProgressView {
 public:
  // out: where progress goes (not owned); live: redraw one line in place; quiet: print nothing;
  // batch: a batch protocol (each file gets its number in the batch).
  ConsoleView(std::FILE* out, bool live, bool quiet, bool batch);
  ~ConsoleView() override;

  // Opens the transfer log when the settings ask for one, as the progress window does: a log
  // that cannot be opened is said and LogToFile is switched off.
  void OpenLog(TransferSettings& settings);
  void CloseLog() { log.Close(); }

  // A status line is printed when it says something new: not while a file is current (the
  // file's line tells its outcome) and not twice in a row.
  void ShowStatus(const char* text) override;
  void ShowBytes(int64_t bytes, int64_t size) override;
  void ShowErrorCount(int32_t count) override;
  // The file's line (its outcome, bytes, errors and rate) and its log entry.
  void AddLogEntry(const char* name, const char* message, int64_t size) override;
  // No one is there to read a window: the run ends here (the done event).
  void FinishRun() override;

  // The last line printed on its own (a status or a file's line), for the host's last word.
  const std::string& LastLine() const { return lastLine; }
  // Control characters (C0, DEL, C1 in UTF-8) as \xNN.
  static std::string Visible(const char* text);

 protected:
  void DisplayFile(const char* name, int64_t size) override;

 private:
  void Draw(bool force);
  void EndLiveLine();
  void Print(const std::string& line);
  uint64_t Rate() const;

  std::FILE* out;
  bool live, quiet, batch;
  TransferLog log;
  bool fileCurrent = false;
  std::string shownName;  // as displayed: visible, numbered in a batch
  std::string liveName;   // the same, a long name cut to fit the live line
  std::string message;    // the status line
  std::string lastLine;
  std::string lastEntry;  // the message of the last file line
  int64_t shownBytes = 0, fileSize = 0;
  int32_t shownErrors = 0;
  uint32_t fileStart = 0, lastDraw = 0;
  bool lineOpen = false;
};
