#include "object/setup/SetupHelp.h"

#include <windows.h>

#include <htmlhelp.h>

namespace {
void SystemViewer(const std::string& helpFile, int32_t context) {
  HtmlHelpA(GetDesktopWindow(), helpFile.c_str(), HH_HELP_CONTEXT, static_cast<DWORD_PTR>(context));
}

SetupHelp::Viewer current = SystemViewer;
}  // namespace

void SetupHelp::Show(const std::string& helpFile, int32_t context) { current(helpFile, context); }

SetupHelp::Viewer SetupHelp::SetViewer(Viewer viewer) {
  Viewer previous = current;
  current = viewer ? viewer : SystemViewer;
  return previous;
}
