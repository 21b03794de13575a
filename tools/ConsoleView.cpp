// Printing follows the job's reports: a file is current from ShowFile to its log entry, and
// statuses while it is current only feed the live line.
#include "tools/ConsoleView.h"

#include <cinttypes>

#include "link/TickSource.h"
#include "link/Utf8Text.h"
#include "job/TransferSettings.h"
#include "tools/Console.h"

namespace {
constexpr uint32_t kRedrawMs = 200;
// The live line is redrawn with a carriage return, which only reaches back to the start of the
// terminal's last row: a long name is cut to these cells so that the line stays on one row.
constexpr size_t kLiveNameCells = 32;
}

ConsoleView::ConsoleView(std::FILE* stream, bool liveLine, bool silent, bool batchProtocol)
    : out(stream), live(liveLine && !silent), quiet(silent), batch(batchProtocol) {}

ConsoleView::~ConsoleView() { EndLiveLine(); }

std::string ConsoleView::Visible(const char* text) {
  std::string shown;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
    const bool c1 = p[0] == 0xC2 && p[1] >= 0x80 && p[1] <= 0x9F;
    if (p[0] >= 0x20 && p[0] != 0x7F && !c1) {
      shown += static_cast<char>(p[0]);
      continue;
    }
    for (int i = 0; i <= (c1 ? 1 : 0); ++i) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", p[i]);
      shown += hex;
    }
    p += c1 ? 1 : 0;
  }
  return shown;
}

void ConsoleView::OpenLog(TransferSettings& settings) {
  if (settings.LogToFile == 0 || log.Open(settings.LogFilename.c_str(), settings.AppendToLog != 0)) return;
  SetStatus("ERROR: Log file could not be created.");
  settings.LogToFile = 0;
}

void ConsoleView::Print(const std::string& line) {
  lastLine = line;
  if (quiet) return;
  EndLiveLine();
  Console::Write(out, line + "\n");
}

void ConsoleView::EndLiveLine() {
  if (!lineOpen) return;
  Console::Write(out, "\n");
  lineOpen = false;
}

uint64_t ConsoleView::Rate() const {
  const uint32_t elapsed = TickSource::Now() - fileStart;
  return elapsed > 0 ? static_cast<uint64_t>(shownBytes) * 1000u / elapsed : 0;
}

void ConsoleView::Draw(bool force) {
  if (!live || !fileCurrent) return;
  const uint32_t now = TickSource::Now();
  if (!force && lineOpen && now - lastDraw < kRedrawMs) return;
  lastDraw = now;
  char counts[128] = "", size[32] = "";
  if (fileSize > 0) std::snprintf(size, sizeof size, " of %" PRId64, fileSize);
  std::snprintf(counts, sizeof counts, "  %" PRId64 "%s bytes  %" PRIu64 " B/s  %d errors  ", shownBytes, size, Rate(),
                shownErrors);
  Console::Write(out, "\r" + liveName + counts + message + "\033[K");
  lineOpen = true;
}

void ConsoleView::ShowStatus(const char* text) {
  message = text;
  if (fileCurrent) {
    Draw(true);
    return;
  }
  // "Sending file..." and "Receiving file..." only say that bytes move, which a file's line says.
  const size_t n = message.size();
  if (n > 8 && message.compare(n - 8, 8, " file...") == 0) return;
  if (message == lastLine || message == lastEntry) return;
  Print(message);
}

void ConsoleView::DisplayFile(const char* name, int64_t size) {
  EndLiveLine();
  fileCurrent = name[0] != '\0';
  lastEntry.clear();
  if (!fileCurrent) return;
  shownName = Visible(name);
  const size_t fits = Utf8Text::FitBytes(shownName, kLiveNameCells - 3);
  liveName = Utf8Text::Columns(shownName) > kLiveNameCells ? shownName.substr(0, fits) + "..." : shownName;
  if (batch) {
    const std::string number = "File " + std::to_string(filesSeen) + ": ";
    shownName = number + shownName;
    liveName = number + liveName;
  }
  fileSize = size;
  shownBytes = 0;
  shownErrors = 0;
  fileStart = TickSource::Now();
  Draw(true);
}

void ConsoleView::ShowBytes(int64_t bytes, int64_t size) {
  // The rate counts from the first data, not from the wait for the other side.
  if (shownBytes == 0) fileStart = TickSource::Now();
  shownBytes = bytes;
  fileSize = size;
  Draw(false);
}

void ConsoleView::ShowErrorCount(int32_t count) {
  shownErrors = count;
  Draw(false);
}

void ConsoleView::AddLogEntry(const char* name, const char* outcome, int64_t size) {
  const std::string visible = Visible(name);
  log.AddEntry(visible.c_str(), outcome, static_cast<uint32_t>(size));
  const std::string shown = fileCurrent ? shownName : visible.empty() ? "(no file)" : visible;
  char line[160];
  std::snprintf(line, sizeof line, ": %s %" PRId64 " bytes, %d errors, %" PRIu64 " B/s", outcome, size, shownErrors,
                Rate());
  if (live && fileCurrent) {
    message = outcome;
    Draw(true);
    EndLiveLine();
    lastLine = shown + line;
  } else if (!fileCurrent && size == 0) {
    Print(shown + ": " + outcome);  // no file moved (a call that failed): no counts to show
  } else {
    Print(shown + line);
  }
  fileCurrent = false;
  lastEntry = outcome;
}

void ConsoleView::FinishRun() { doneEvent.Set(); }
