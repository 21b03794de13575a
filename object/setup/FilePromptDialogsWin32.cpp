#include "object/setup/FilePromptDialogs.h"

#include <windows.h>

#include <commdlg.h>

#include <algorithm>
#include <string_view>

#include "link/WideText.h"
#include "object/setup/DialogControls.h"
#include "object/setup/SendAsDialog.h"

bool FilePromptDialogs::ChooseFiles(const Request& request, FileSelection& chosen) {
  wchar_t names[FilePrompt::kBufferSize] = {};
  const std::wstring folder = WideText::Widen(request.folder), title = WideText::Widen(request.title);
  OPENFILENAMEW dialog = {};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = DialogControls::Owner();
  dialog.lpstrFilter = L"All\0*.*\0Text Files\0*.txt\0";
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = names;
  dialog.nMaxFile = FilePrompt::kBufferSize;
  dialog.lpstrInitialDir = folder.c_str();
  dialog.lpstrTitle = title.c_str();
  dialog.Flags = OFN_EXPLORER | OFN_LONGNAMES | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NONETWORKBUTTON |
                 OFN_NOTESTFILECREATE | OFN_NODEREFERENCELINKS;
  if (request.multiple) dialog.Flags |= OFN_ALLOWMULTISELECT;
  if (!GetOpenFileNameW(&dialog)) return false;
  // The folder and the names, each ended by its zero, up to the empty string after the last:
  // converted as one text, so the zeros stay where they were.
  const std::wstring_view all(names, FilePrompt::kBufferSize);
  const std::string buffer = WideText::Narrow(all.substr(0, std::min(all.find(std::wstring_view(L"\0\0", 2)), all.size())));
  chosen = FileSelection::FromBuffer(buffer.data(), buffer.size());
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
