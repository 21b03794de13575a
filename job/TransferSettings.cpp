#include "job/TransferSettings.h"

void TransferSettings::Reset(int32_t defaultType, const std::string& moduleDirectory) {
  *this = TransferSettings();
  DefaultDir = moduleDirectory;
  if (!DefaultDir.empty()) DefaultDir.pop_back();
  HelpFile = moduleDirectory + "zandrel.chm";
  LogFilename = moduleDirectory + "zandrel.log";
  // A directory deep enough to overflow the path fields leaves them cut, as every text is.
  for (std::string* path : {&DefaultDir, &HelpFile, &LogFilename})
    if (path->size() >= kPathRoom) path->resize(kPathRoom - 1);
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

TransferSettings& TransferSettings::Process() {
  static TransferSettings record;
  return record;
}
