#include "job/FilePrompt.h"

#include "job/TransferSettings.h"

int32_t FilePrompt::Run(TransferSettings& settings, FilePromptWindows& windows) {
  FilePromptWindows::Request request;
  request.title = settings.Transfer ? "Select File to Transfer" : "Select File to Receive";
  request.folder = settings.DefaultDir;
  request.multiple = settings.Batch();
  FileSelection chosen;
  const bool picked = windows.ChooseFiles(request, chosen);
  settings.FileList.clear();
  if (!picked || chosen.names.empty()) return 0;

  settings.Attempted = static_cast<int16_t>(settings.Attempted + chosen.names.size());
  settings.FileList = chosen.names.front();
  if (!settings.Batch()) return 0;
  if (settings.Protocol != TransferSettings::kZModem || settings.PathSwitch != 2) {
    if (chosen.names.size() > 1) settings.FileList = chosen.JoinedPaths();
    return 0;
  }
  std::string list;
  const int32_t button = windows.SendFileAs(chosen, list);
  if (list.empty()) {
    settings.FileList.clear();
    return button == FilePromptWindows::kOk ? 4 : 6;
  }
  settings.FileList = list;
  return 0;
}
