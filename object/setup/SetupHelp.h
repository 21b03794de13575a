// Where the setup sheet, its dialogs and the file prompt send F1 and their Help buttons: the
// help file at a context number. A seam, so that tests record the request instead of opening a
// viewer (a viewer asked for a missing file may never return).
#pragma once
#include <cstdint>
#include <string>

class SetupHelp {
 public:
  using Viewer = void (*)(const std::string& helpFile, int32_t context);

  // Opens helpFile at context with the current viewer.
  static void Show(const std::string& helpFile, int32_t context);
  // Replaces the viewer (null restores the system's); returns the one it replaced.
  static Viewer SetViewer(Viewer viewer);
};
