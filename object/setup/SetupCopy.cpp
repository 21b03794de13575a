#include "object/setup/SetupCopy.h"

void SetupCopy::CopyIn(const TransferSettings& s) {
  BaudRate = s.BaudRate;
  CrashRecovery = s.CrashRecovery;
  FlowControl = s.FlowControl;
  MaxErrors = s.MaxErrors;
  ModemName = s.ModemName;
  Port = s.Port;
  Protocol = s.Protocol;
  UseModem = s.UseModem;
  WindowSize = s.WindowSize;
  Overwrite = s.Overwrite;
  RecvTimeout = s.RecvTimeout;
  SendTimeout = s.SendTimeout;
  PathSwitch = s.PathSwitch;
  DefaultDir = s.DefaultDir;
  AppendToLog = s.AppendToLog;
  LogFilename = s.LogFilename;
  LogToFile = s.LogToFile;
  LogToScreen = s.LogToScreen;
  ModemCmd = s.ModemCmd;
  Telephone = s.Telephone;
  listingLoaded = false;
}

void SetupCopy::CopyBack(TransferSettings& s, const SetupPages& shown) const {
  if (shown.general) {
    s.BaudRate = BaudRate;
    s.CrashRecovery = CrashRecovery;
    s.FlowControl = FlowControl;
    s.MaxErrors = MaxErrors;
    s.ModemName = ModemName;
    s.Port = Port;
    s.Protocol = Protocol;
    s.UseModem = UseModem;
    s.WindowSize = WindowSize;
  }
  if (shown.transfer) {
    s.Overwrite = Overwrite;
    s.RecvTimeout = RecvTimeout;
    s.SendTimeout = SendTimeout;
    s.PathSwitch = PathSwitch;
    s.DefaultDir = DefaultDir;
  }
  if (shown.logging) {
    s.AppendToLog = AppendToLog;
    s.LogFilename = LogFilename;
    s.LogToFile = LogToFile;
    s.LogToScreen = LogToScreen;
  }
  if (shown.modem) {
    s.ModemCmd = ModemCmd;
    s.Telephone = Telephone;
  }
}
