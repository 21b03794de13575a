// The result wait's budget counts silence only (ReadLine uses it up in 50 ms steps), so the
// rings of an incoming call and the modem's progress reports keep a wait alive.
#include "modem/ConnectModem.h"

#include <cstring>
#include <string>

#include "link/LineControl.h"
#include "link/LinkCodes.h"
#include "modem/Modem.h"
#include "modem/StatusSink.h"

namespace {
constexpr int32_t kConnected = 0, kCancelled = 6, kPortFailed = 15, kNotConnected = 20;
constexpr int32_t kCancelledHelp = 18, kPortFailedHelp = 27, kNotConnectedHelp = 32;
constexpr int32_t kForever = 0x7FFFFFFF;

int32_t NotConnected(StatusSink& sink, const char* status, std::string& why, const std::string& reason) {
  if (status) sink.SetStatus("%s", status);
  sink.SetHelpId(kNotConnectedHelp);
  why = reason;
  return kNotConnected;
}

// The modem's result word(s) in a line that may carry more ("BUSY\r", "NO CARRIER 3").
std::string Trimmed(const std::string& line) {
  const size_t start = line.find_first_not_of(" \t");
  if (start == std::string::npos) return std::string();
  return line.substr(start, line.find_last_not_of(" \t") - start + 1);
}
}  // namespace

int32_t ConnectModem(const CallPlan& plan, Modem& modem, LineControl& lines, StatusSink& sink,
                     std::string& why) {
  const bool sending = plan.sending;
  const char* number = plan.telephone ? plan.telephone : "";
  const char* userCommand = plan.userCommand;
  if (sending && number[std::strspn(number, " ")] == '\0')
    return NotConnected(sink, "No telephone number to dial.", why, "no telephone number");
  if (sending && !modem.DialFits(number))
    return NotConnected(sink, "Telephone number too long for the modem.", why, "number too long");
  bool forever = plan.hostLoop;
  sink.SetStatus("Resetting modem...");
  modem.ResetSettings();
  if (userCommand && *userCommand) {
    sink.SetStatus("Sending AT command...");
    modem.SendCommand(userCommand, true);
  }
  modem.TakeCallResult();  // a line left from an earlier call is not this call's result
  if (sending) {
    sink.SetStatus("Dialing modem...");
    modem.Dial(number);
    sink.SetStatus("Waiting for answer...");
  } else {
    sink.SetStatus("Waiting to answer modem...");
    modem.Answer();
  }
  const int32_t seconds = plan.timeoutSeconds;
  int32_t full = seconds > kForever / 1000 ? kForever : seconds * 1000;
  if (full <= 0) {
    full = kForever;
    forever = true;
  }
  // A result line that came while the dial or answer command waited for "OK" is the first one
  // judged: a fast BUSY or NO CARRIER counts, and a CONNECT is not waited past.
  std::string line = modem.TakeCallResult();
  bool connected = false;
  for (int32_t budget = full;;) {
    int32_t left = budget;
    if (line.empty()) {
      char text[81];
      left = modem.NextLine(text, sizeof text, budget);
      if (left < 0) {
        const bool portFailed = left <= LinkCode::Failure && left >= LinkCode::ModemNoOk && left != LinkCode::Timeout;
        sink.SetHelpId(portFailed ? kPortFailedHelp : kCancelledHelp);
        return portFailed ? kPortFailed : kCancelled;
      }
      line = text;
    }
    if (line.find("CONNECT") != std::string::npos) {
      connected = true;
      break;
    }
    if (Modem::IsCallResult(line.c_str()) || line == "ERROR") break;
    line.clear();
    if (left == 0 && !forever) break;
    budget = left == 0 ? full : left;
  }
  lines.Refresh();
  if (!connected) {
    const std::string said = Trimmed(line);
    if (!said.empty()) return NotConnected(sink, nullptr, why, said);
    return NotConnected(sink, nullptr, why, std::string("no ") + (sending ? "answer" : "call") + " in " +
                                                 std::to_string(seconds) + " s");
  }
  if (lines.CarrierDetect() == 0) return NotConnected(sink, nullptr, why, "CONNECT without carrier detect");
  sink.SetStatus("Modem Connected.");
  return kConnected;
}
