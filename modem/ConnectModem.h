// Dialing and answering: sends the modem its settings and the user's command, dials the
// telephone number (sending) or arms the modem to answer the first ring (receiving), and waits
// for the call's result line. Only "CONNECT" with carrier detect on counts as connected.
#pragma once
#include <cstdint>
#include <string>

class LineControl;
class Modem;
class StatusSink;

// What one call needs to know: its direction, whether it is one of host mode's calls (the wait
// for a call then has no end of its own), the number to dial, the user's command for the modem
// (may be empty) and the silence the result may take (seconds; 0 waits for ever).
struct CallPlan {
  bool sending = true;
  bool hostLoop = false;
  const char* telephone = "";
  const char* userCommand = "";
  int32_t timeoutSeconds = 0;
};

// modem: initialised; its QueryAbort ends every wait. lines: the job's LineControl on the port,
// for carrier detect. Status lines and the help topic of a failure go to sink.
// Returns 0 when connected; 6 when the wait was cut short by a cancel (help topic 18); 15 when
// the port failed (help topic 27); 20 when no connection came about (help topic 32), also at
// once, with nothing sent, for a number that is empty or too long for the modem's dial command.
// why: for 20, what stopped the call in a few words, the modem's own result line where it gave
// one ("BUSY", "NO CARRIER", "NO DIALTONE", "NO ANSWER", "ERROR").
int32_t ConnectModem(const CallPlan& plan, Modem& modem, LineControl& lines, StatusSink& sink,
                     std::string& why);
