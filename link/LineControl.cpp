// Handshake remembered at construction and put back at destruction.
#include "link/LineControl.h"

#include "link/ComLink.h"
#include "link/SerialPort.h"

LineControl::LineControl(SerialPort* port) : link(port->Link()) {
  Refresh();
  link->GetHandshake(savedInput, savedOutput);
  currentInput = savedInput;
  currentOutput = savedOutput;
}

LineControl::~LineControl() { Restore(); }

int32_t LineControl::SetHandshake(int32_t inputCode, int32_t outputCode) {
  currentInput = inputCode;
  currentOutput = outputCode;
  return link->SetHandshake(inputCode, outputCode);
}

int32_t LineControl::Restore() { return SetHandshake(savedInput, savedOutput); }

void LineControl::Refresh() { link->GetLineStatus(snapshot); }
