// The host's reporting follows the job's rules: the first non-zero code of a file makes its log
// entry, every mapped code overwrites the result, so the last failure of a run wins.
#include "tools/ConsoleStatus.h"

#include <cinttypes>

#include "job/StatusTable.h"
#include "job/TransferLog.h"
#include "link/TickSource.h"

namespace {
constexpr uint32_t kRedrawMs = 200;

// A name as it may reach a terminal or the log: control characters (C0, DEL, and C1 in its
// UTF-8 form) as \xNN, so a sender cannot move the cursor, clear the screen or add lines.
std::string Visible(const char* name) {
  std::string out;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p != 0; ++p) {
    const bool c1 = p[0] == 0xC2 && p[1] >= 0x80 && p[1] <= 0x9F;
    if (p[0] >= 0x20 && p[0] != 0x7F && !c1) {
      out += static_cast<char>(p[0]);
      continue;
    }
    for (int i = 0; i <= (c1 ? 1 : 0); ++i) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", p[i]);
      out += hex;
    }
    p += c1 ? 1 : 0;
  }
  return out;
}
}  // namespace

ConsoleStatus::ConsoleStatus(std::FILE* stream, bool liveLine, bool silent, TransferLog* transferLog,
                             CancelQuery cancelQuery)
    : out(stream),
      live(liveLine && !silent),
      quiet(silent),
      log(transferLog),
      cancelled(cancelQuery),
      lastActivity(TickSource::Now()) {}

void ConsoleStatus::SetTimeout(uint32_t seconds) {
  timeoutSeconds = seconds;
  lastActivity = TickSource::Now();
}

void ConsoleStatus::Say(const std::string& text) {
  message = text;
  if (quiet) return;
  EndLiveLine();
  std::fprintf(out, "%s\n", text.c_str());
  std::fflush(out);
}

void ConsoleStatus::EndLiveLine() {
  if (!lineOpen) return;
  std::fputc('\n', out);
  lineOpen = false;
}

void ConsoleStatus::Draw(bool force) {
  if (!live) return;
  const uint32_t now = TickSource::Now();
  if (!force && lineOpen && now - lastDraw < kRedrawMs) return;
  lastDraw = now;
  const uint32_t elapsed = now - fileStart;
  const unsigned long rate =
      elapsed > 0 ? static_cast<unsigned long>(static_cast<uint64_t>(shownBytes) * 1000u / elapsed) : 0;
  char size[32] = "";
  if (fileSize > 0) std::snprintf(size, sizeof size, " of %" PRId64, fileSize);
  std::fprintf(out, "\r%s  %" PRId64 "%s bytes  %lu B/s  %d errors  %s\033[K", shownName.c_str(), shownBytes, size,
               rate, shownErrors, message.c_str());
  std::fflush(out);
  lineOpen = true;
}

void ConsoleStatus::Notify(int32_t event) {
  const char* name = fileName ? fileName : "";
  if (rawName != name) {
    rawName = name;
    shownName = Visible(name);
    if (!shownName.empty()) {
      ++filesSeen;
      if (batch) shownName = "File " + std::to_string(filesSeen) + ": " + shownName;
      fileStart = TickSource::Now();
      EndLiveLine();
      Draw(true);
    }
    logged = false;
  }
  if (bytesDone != shownBytes) {
    if (shownBytes == 0) {
      message = sending ? "Sending file..." : "Receiving file...";
      // The rate counts from the first data, not from the wait for the other side.
      if (!logged) fileStart = TickSource::Now();
    }
    shownBytes = bytesDone;
    lastActivity = TickSource::Now();
    Draw(false);
  }
  if (errors != shownErrors) {
    shownErrors = errors;
    Draw(false);
  }
  if (event == 0) return;

  const StatusEntry entry = StatusTable::Look(event);
  if (entry.result != StatusEntry::kUnchanged) result = entry.result;
  if (!logged) {
    logged = true;
    if (event == -804 && !shownName.empty()) ++filesOk;
    if (log) log->AddEntry(shownName.c_str(), entry.message, static_cast<uint32_t>(shownBytes));
    if (!quiet) {
      const uint32_t elapsed = TickSource::Now() - fileStart;
      const unsigned long rate =
          elapsed > 0 ? static_cast<unsigned long>(static_cast<uint64_t>(shownBytes) * 1000u / elapsed) : 0;
      if (live) {
        message = entry.message;
        Draw(true);
        EndLiveLine();
      } else {
        std::fprintf(out, "%s: %s %" PRId64 " bytes, %d errors, %lu B/s\n",
                     shownName.empty() ? "(no file)" : shownName.c_str(), entry.message, shownBytes, shownErrors,
                     rate);
        std::fflush(out);
      }
    }
    shownBytes = 0;
    shownErrors = 0;
  }
  if (event == -804) return;
  message = entry.message;
}

int32_t ConsoleStatus::QueryAbort() {
  if (cancelled && cancelled()) return -901;
  if (timeoutSeconds != 0 && (TickSource::Now() - lastActivity) / 1000u > timeoutSeconds) return -909;
  return 0;
}
