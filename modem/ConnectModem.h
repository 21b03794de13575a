// Dialing and answering: sends the modem its settings and the user's command, dials the
// telephone number (sending) or arms the modem to answer the first ring (receiving), and waits
// for the call's result line. Only "CONNECT" with carrier detect on counts as connected.
#pragma once
#include <cstdint>

class LineControl;
class Modem;
class StatusSink;
struct TransferSettings;

// hostLoop: receiving in host mode (the wait for a call has no end of its own). userCommand:
// the ModemCmd setting, may be empty. modem: initialised; its QueryAbort ends every wait.
// lines: the job's LineControl on the port, for carrier detect. From settings: Transfer,
// Telephone, SendTimeout, RecvTimeout (seconds; 0 waits for ever). Status lines and the help
// topic of a failure go to sink.
// Returns 0 when connected; 6 when the wait was cut short (cancel or a link failure; help topic
// 18); 20 when no connection came about (help topic 32), also at once, with nothing sent, for a
// number that is empty or too long for the modem's dial command.
int32_t ConnectModem(bool hostLoop, const char* userCommand, Modem& modem, LineControl& lines,
                     const TransferSettings& settings, StatusSink& sink);
