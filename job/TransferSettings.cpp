#include "job/TransferSettings.h"

#include "link/Utf8Text.h"

void TransferSettings::Reset(int32_t defaultType, const std::string& moduleDirectory) {
  *this = TransferSettings();
  DefaultDir = moduleDirectory;
  if (!DefaultDir.empty()) DefaultDir.pop_back();
  HelpFile = moduleDirectory + "zandrel.chm";
  LogFilename = moduleDirectory + "zandrel.log";
  // A directory deep enough to overflow the path fields leaves them cut, as every text is.
  for (std::string* path : {&DefaultDir, &HelpFile, &LogFilename})
    *path = Cut(*path, kPathRoom);
  switch (defaultType) {
    case 2:
      FlowControl = kFlowRtsCts;
      Protocol = kZModem;
      WindowSize = 0;
      break;
    case 3:
      FlowControl = kFlowXonXoff;
      Protocol = kZModem;
      WindowSize = 1024;
      break;
    default:
      break;
  }
}

std::string TransferSettings::Cut(std::string_view text, size_t room) {
  size_t kept = 0, units = 0;
  while (kept < text.size()) {
    size_t next = kept;
    units += Utf8Text::Next(text, next) > 0xFFFF ? 2 : 1;
    if (units >= room) break;
    kept = next;
  }
  return std::string(text.substr(0, kept));
}

TransferSettings& TransferSettings::Process() {
  static TransferSettings record;
  return record;
}
