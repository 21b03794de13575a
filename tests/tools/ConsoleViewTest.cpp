#include "tools/ConsoleView.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "fakes/FakeClock.h"
#include "fakes/TestData.h"
#include "job/TransferSettings.h"

namespace {
// Six characters of two cells each.
const std::string kWide = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE5\x90\x8D\xE5\x89\x8D";

// Everything written to a temporary file so far; closes it.
std::string Drain(std::FILE* f) {
  std::rewind(f);
  std::string s;
  for (int c; (c = std::fgetc(f)) != EOF;) s += static_cast<char>(c);
  std::fclose(f);
  return s;
}

// What the job shows of a batch of two files, the second of which fails, and the counts.
void Play(ConsoleView& view) {
  view.SetStatus("Waiting for sender...");
  view.ShowFile("a.bin", 1000);
  view.SetStatus("Receiving file...");
  view.ShowBytes(500, 1000);
  FakeClock::Advance(1000);
  view.ShowBytes(1000, 1000);
  view.AddLogEntry("a.bin", "OK", 1000);
  view.SetStatus("Receiving file...");  // between files the receiver's name is empty
  view.ShowFile("b\x1b[2Jx\n.bin", 0);  // a hostile name
  view.ShowBytes(300, 0);
  view.ShowErrorCount(2);
  view.AddLogEntry("b\x1b[2Jx\n.bin", "Timeout.", 300);
  view.SetStatus("Timeout.");
  view.SetStatus("1 / 2 File(s) received.");
  view.SetStatus("1 / 2 File(s) received.");
}

TEST(ConsoleView, OneLinePerFileStatusesBetweenFilesAndTheLog) {
  FakeClock clock{5000};
  const ScratchFolder scratch("zandrel-console.");
  const std::string path = (scratch.path / "zandrel.log").string();
  TransferSettings settings;
  settings.LogToFile = 1;
  settings.LogFilename = path;
  std::FILE* out = std::tmpfile();
  {
    ConsoleView view(out, false, false, true);
    view.OpenLog(settings);
    Play(view);
    view.FinishRun();
    EXPECT_TRUE(view.doneEvent.IsSet());  // no one is there to press Close
    EXPECT_EQ("1 / 2 File(s) received.", view.LastLine());
  }
  EXPECT_EQ(
      "Waiting for sender...\n"
      "File 1: a.bin: OK 1000 bytes, 0 errors, 1000 B/s\n"
      "File 2: b\\x1b[2Jx\\x0a.bin: Timeout. 300 bytes, 2 errors, 0 B/s\n"
      "1 / 2 File(s) received.\n",
      Drain(out));
  const std::string log = Slurp(path);
  EXPECT_NE(std::string::npos, log.find("\na.bin "));
  EXPECT_NE(std::string::npos, log.find("\nb\\x1b[2Jx\\x0a.bin "));

  // A log that cannot be opened is said and switched off.
  settings.LogFilename = "/nonexistent-dir/zandrel.log";
  out = std::tmpfile();
  {
    ConsoleView view(out, false, false, false);
    view.OpenLog(settings);
  }
  EXPECT_EQ("ERROR: Log file could not be created.\n", Drain(out));
  EXPECT_EQ(0, settings.LogToFile);
}

TEST(ConsoleView, LiveLineIsRedrawnInPlaceUnlessQuiet) {
  for (const bool quiet : {false, true}) {
    FakeClock clock{5000};
    std::FILE* out = std::tmpfile();
    {
      ConsoleView view(out, true, quiet, true);
      Play(view);
      view.ShowFile(std::string(10, '-').append(kWide).append(kWide).c_str(), 0);  // 10 + 24 cells
      view.AddLogEntry("w", "OK", 0);
    }
    const std::string text = Drain(out);
    if (quiet) {
      EXPECT_EQ("", text);
      continue;
    }
    EXPECT_NE(std::string::npos, text.find("\rFile 1: a.bin  1000 of 1000 bytes  1000 B/s  0 errors  Receiving file..."));
    EXPECT_NE(std::string::npos, text.find("  OK\033[K\n"));
    EXPECT_NE(std::string::npos, text.find("  2 errors  Timeout.\033[K\n1 / 2 File(s) received.\n"));
    // A name longer than the live line's room is cut by cells, between characters.
    EXPECT_NE(std::string::npos, text.find("\rFile 3: ----------" + kWide + "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E" +
                                           "...  0 bytes"));
  }
}
}  // namespace
