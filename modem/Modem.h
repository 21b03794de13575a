// Talks to an installed modem with the command strings of its installation: reset and
// initialisation, a settings string built from the platform's default configuration, framed
// commands that wait for "OK", answering, dialing and hanging up. Every wait polls the port and
// ends at once when QueryAbort says stop.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "modem/ModemInstallation.h"

class RegistryKey;
class SerialPort;

class Modem {
 public:
  // Rooms, terminator included.
  static constexpr size_t kCommandRoom = 44;  // the command being sent, framing included
  static constexpr size_t kShortRoom = 39;    // prefix, terminator, dial prefix and suffix
  static constexpr size_t kLongRoom = 41;     // reset, settings string, user init
  static constexpr size_t kReplyRoom = 256;   // a line read while waiting for "OK"
  static constexpr int32_t kStepMs = 50;      // silence used up per look at an empty line
  // Lines in a row without a step of silence between them that end a wait as if its budget had
  // run out: a modem that floods lines cannot hold a wait for ever.
  static constexpr int32_t kFloodLines = 64;

  // The installation Init reads (not owned); the platform's own by default.
  explicit Modem(ModemInstallation& installation = ModemInstallation::System());
  virtual ~Modem();
  Modem(const Modem&) = delete;
  Modem& operator=(const Modem&) = delete;

  // 0 to go on, a negative status to end every wait at once. The base always goes on.
  virtual int32_t QueryAbort();

  // Milliseconds of silence a command waits for its "OK".
  void SetResponseTimeout(int32_t ms) { responseTimeoutMs = ms; }
  // Resets and initialises the modem on port (kept, not owned) from its driver key: "Reset",
  // the "Init" commands, the "Settings" strings with the settings string built from the default
  // configuration of modemName, "UserInit", the "Hangup" commands; then waits 250 ms and drops
  // what the modem said. 0; -801 when the driver key or its "Init", "Settings" or "Hangup" key
  // is missing; a negative QueryAbort or port result.
  int32_t Init(SerialPort* port, const char* modemName, const char* driverKeyPath);
  // Sends command (framed: prefix + command + terminator) a byte at a time, without pacing,
  // then skips lines until one is exactly "OK". 0 for "OK"; -848 when none came within the
  // response time-out of silence; -801, with nothing sent, when the command does not fit
  // kCommandRoom; the first failure of writing.
  int32_t SendCommand(const char* command, bool framed);
  // SendCommand (not framed) of each string of a multi-string ("a\0b\0\0"): the first always,
  // the others up to the empty one that ends it. The first non-zero result, else 0.
  int32_t SendMulti(const char* multi);
  // Reads one line (up to a carriage return, line feeds dropped) into buffer, at most room - 1
  // characters. Each look at an empty input waits 50 ms and uses that much of budgetMs. The
  // budget left (0 when it ran out), or a negative QueryAbort or port result.
  int32_t ReadLine(char* buffer, size_t room, int32_t budgetMs);
  // ReadLine for waits that pass lines over: also gives 0 once kFloodLines lines came in a row.
  int32_t NextLine(char* buffer, size_t room, int32_t budgetMs);
  // Waits ms milliseconds, yielding. 0, or a negative QueryAbort or port result.
  int32_t Wait(int32_t ms);
  // The settings string, then the user init when there is one and the settings got "OK".
  void ResetSettings();
  // Arms the modem to answer the first ring ("S0=1"). SendCommand's result, or -848 when the
  // call's result line came before "OK" (kept for TakeCallResult).
  int32_t Answer();
  // Dials number with the dial prefix and suffix. As Answer; -801, with nothing sent, for a
  // number too long for the command (see DialFits).
  int32_t Dial(const char* number);
  // Whether Dial(number) fits the command room, framing included.
  bool DialFits(const char* number) const;
  // Leaves the call: +++ inside a second of silence each side, then the "Hangup" commands.
  // 0 when the modem answered every one "OK" and carrier detect is off after; -801 when the
  // carrier is still there; -848 for a command not answered "OK" (after +++, the hang-up
  // commands are then not sent); a negative QueryAbort or port result.
  int32_t HangUp();

  // A call's result line ("CONNECT...", "BUSY", "NO CARRIER", "ERROR", ...) that ended a wait
  // for "OK"; empty when none. Taking it clears it.
  std::string TakeCallResult();
  // Whether a line decides a call: it contains "CONNECT", "NO CARRIER", "BUSY", "NO DIALTONE"
  // (or "NO DIAL TONE") or "NO ANSWER".
  static bool IsCallResult(const char* line);

  // 0 none, 1 XON/XOFF, 2 RTS/CTS: what the modem is set to, from its default configuration.
  int32_t FlowControl() const { return flowControl; }
  const std::string& SettingsString() const { return settings; }
  const std::string& DialPrefix() const { return dialPrefix; }

 private:
  // SendCommand for the commands that make or leave a call. With callResultEnds a call's result
  // line ends the wait (a fast BUSY, a CONNECT whose data follows at once, the NO CARRIER of a
  // call that had already ended) and is kept for TakeCallResult; any other command passes such
  // a line over, so a stale one cannot take the place of its "OK".
  int32_t Command(const char* command, bool framed, bool callResultEnds);
  void BuildSettings(RegistryKey& settingsKey, const char* modemName);
  void AppendSetting(RegistryKey& settingsKey, const std::string& name, bool timer, uint32_t value);

  ModemInstallation& installation;
  SerialPort* port = nullptr;
  int32_t flowControl = 0;
  int32_t responseTimeoutMs = 0;
  std::string prefix, terminator, settings, userInit, dialPrefix, dialSuffix;
  std::string hangUpCommands;  // multi-string
  std::string callResult;
  int32_t linesInRow = 0;
};
