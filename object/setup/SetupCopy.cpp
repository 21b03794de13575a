#include "object/setup/SetupCopy.h"

namespace {
// One list of which page edits which field, walked both ways: `move(copyField, settingsField)`.
template <class Copy, class Settings, class Move>
void EachField(Copy& c, Settings& s, const SetupPages& pages, Move move) {
  if (pages.general) {
    move(c.BaudRate, s.BaudRate);
    move(c.CrashRecovery, s.CrashRecovery);
    move(c.FlowControl, s.FlowControl);
    move(c.MaxErrors, s.MaxErrors);
    move(c.ModemName, s.ModemName);
    move(c.Port, s.Port);
    move(c.Protocol, s.Protocol);
    move(c.UseModem, s.UseModem);
    move(c.WindowSize, s.WindowSize);
  }
  if (pages.transfer) {
    move(c.Overwrite, s.Overwrite);
    move(c.RecvTimeout, s.RecvTimeout);
    move(c.SendTimeout, s.SendTimeout);
    move(c.PathSwitch, s.PathSwitch);
    move(c.DefaultDir, s.DefaultDir);
  }
  if (pages.logging) {
    move(c.AppendToLog, s.AppendToLog);
    move(c.LogFilename, s.LogFilename);
    move(c.LogToFile, s.LogToFile);
    move(c.LogToScreen, s.LogToScreen);
  }
  if (pages.modem) {
    move(c.ModemCmd, s.ModemCmd);
    move(c.Telephone, s.Telephone);
  }
}
}  // namespace

void SetupCopy::CopyIn(const TransferSettings& settings) {
  EachField(*this, settings, SetupPages{}, [](auto& field, const auto& value) { field = value; });
  listingLoaded = false;
}

void SetupCopy::CopyBack(TransferSettings& settings, const SetupPages& shown) const {
  EachField(*this, settings, shown, [](const auto& field, auto& value) { value = field; });
}
