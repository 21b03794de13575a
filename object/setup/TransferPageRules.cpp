#include "object/setup/TransferPageRules.h"

#include "object/setup/DialogText.h"
#include "object/setup/ValueList.h"

TransferPageRules::Transfer TransferPageRules::OpenTransfer(const SetupCopy& copy) {
  Transfer page;
  page.overwrite = ValueList::kOverwrite.IndexOf(copy.Overwrite == 0 ? 7 : copy.Overwrite);
  page.pathSwitch = ValueList::kPathSwitch.IndexOf(copy.PathSwitch);
  page.sendTimeout = DialogText::Number(static_cast<uint32_t>(copy.SendTimeout));
  page.recvTimeout = DialogText::Number(static_cast<uint32_t>(copy.RecvTimeout));
  page.defaultDir = copy.DefaultDir;
  return page;
}

void TransferPageRules::OkTransfer(const Transfer& page, SetupCopy& copy) {
  copy.SendTimeout = static_cast<int32_t>(DialogText::Unsigned(page.sendTimeout));
  copy.RecvTimeout = static_cast<int32_t>(DialogText::Unsigned(page.recvTimeout));
  copy.DefaultDir = DialogText::Cut(page.defaultDir, SetupCopy::kPathChars);
  if (page.overwrite >= 0) copy.Overwrite = static_cast<int16_t>(page.overwrite + 1);
  if (page.pathSwitch >= 0) copy.PathSwitch = static_cast<int16_t>(page.pathSwitch);
}

TransferPageRules::Logging TransferPageRules::OpenLogging(const SetupCopy& copy) {
  Logging page;
  page.logToScreen = copy.LogToScreen != 0;
  page.appendToLog = copy.AppendToLog != 0;
  page.logToFile = copy.LogToFile != 0;
  page.logFilename = copy.LogFilename;
  return page;
}

void TransferPageRules::OkLogging(const Logging& page, SetupCopy& copy) {
  copy.LogToScreen = page.logToScreen;
  copy.AppendToLog = page.appendToLog;
  copy.LogToFile = page.logToFile;
  if (page.logToFile) copy.LogFilename = DialogText::Cut(page.logFilename, SetupCopy::kPathChars);
}
