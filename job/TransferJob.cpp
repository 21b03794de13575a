// The job driver: one run from the port to the last pass, written over the link, engine and
// view seams so that the Windows object and the zandrel host share it.
#include "job/TransferJob.h"

TransferJob::TransferJob(int32_t errorsShown, TransferSettings& record, const DeviceLists& lists)
    : showErrors(errorsShown), settings(record), devices(lists) {}

int32_t TransferJob::CheckOptions(const TransferSettings& s) {
  if (s.Protocol == TransferSettings::kZModem) return 0;
  if (s.FlowControl == TransferSettings::kFlowXonXoff) return 1;
  if (s.HostMode != 0) return 2;
  return 0;
}

int32_t TransferJob::CheckFileList(const TransferSettings& s, bool prompted, int16_t& attempted) {
  const bool zmodem = s.Protocol == TransferSettings::kZModem;
  if (s.FileList.empty()) return zmodem && s.Transfer == 0 ? 0 : 3;
  if (prompted) return 0;
  int32_t names = 1;
  for (char c : s.FileList) names += c == ';';
  if (!zmodem) names = 1;
  if (zmodem && s.PathSwitch == 2) {
    if (names % 2 != 0) return 4;
    names /= 2;
  }
  attempted = static_cast<int16_t>(names);
  return 0;
}
