#include "object/setup/FilePromptDialogs.h"

#include <windows.h>

#include <commdlg.h>

#include "object/setup/DialogControls.h"
#include "object/setup/SendAsDialog.h"

bool FilePromptDialogs::ChooseFiles(const Request& request, FileSelection& chosen) {
  char names[FilePrompt::kBufferSize] = {};
  OPENFILENAMEA dialog = {};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = DialogControls::Owner();
  dialog.lpstrFilter = "All\0*.*\0Text Files\0*.txt\0";
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = names;
  dialog.nMaxFile = sizeof names;
  dialog.lpstrInitialDir = request.folder.c_str();
  dialog.lpstrTitle = request.title.c_str();
  dialog.Flags = OFN_EXPLORER | OFN_LONGNAMES | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NONETWORKBUTTON |
                 OFN_NOTESTFILECREATE | OFN_NODEREFERENCELINKS;
  if (request.multiple) dialog.Flags |= OFN_ALLOWMULTISELECT;
  if (!GetOpenFileNameA(&dialog)) return false;
  chosen = FileSelection::FromBuffer(names, sizeof names);
  return true;
}

int32_t FilePromptDialogs::SendFileAs(const FileSelection& chosen, std::string& list) {
  SendAsDialog dialog;
  dialog.chosen = chosen;
  dialog.helpFile = helpFile;
  const int32_t button = dialog.Run();
  list = dialog.result;
  return button;
}
