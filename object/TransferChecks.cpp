#include "object/TransferChecks.h"

#include <algorithm>

int32_t TransferChecks::CheckOptions(const TransferSettings& s) {
  if (s.Protocol == TransferSettings::kZModem) return 0;
  if (s.FlowControl == TransferSettings::kFlowXonXoff) return 1;
  if (s.HostMode != 0) return 2;
  return 0;
}

int32_t TransferChecks::CountFiles(TransferSettings& s, bool prompted) {
  const bool zmodem = s.Protocol == TransferSettings::kZModem;
  if (s.FileList.empty()) return zmodem && s.Transfer == 0 ? 0 : 3;
  if (prompted) return 0;
  const auto entries = 1 + std::count(s.FileList.begin(), s.FileList.end(), ';');
  s.Attempted = static_cast<int16_t>(entries);
  if (!zmodem) {
    s.Attempted = 1;
  } else if (s.PathSwitch == 2) {
    if (entries % 2 != 0) return 4;
    s.Attempted = static_cast<int16_t>(entries / 2);
  }
  return 0;
}
