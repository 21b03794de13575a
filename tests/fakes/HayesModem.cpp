// The modem's rules follow what real Hayes-compatible modems do, not what our code expects: any
// key aborts a call being set up, commands before an unknown one still take effect, a remote
// hang-up is reported after the S10 carrier-loss delay, +++ counts only with guard times.
#include "fakes/HayesModem.h"

#include <cctype>
#include <cstdio>

#include "fakes/Switchboard.h"

namespace {
bool Due(uint32_t at, uint32_t now) { return static_cast<int32_t>(at - now) <= 0; }

// The decimal number at i (0 when there is none), stopping past 999 so nothing overflows.
int Digits(const std::string& text, size_t& i) {
  int n = 0;
  while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) && n < 1000)
    n = n * 10 + (text[i++] - '0');
  return n;
}
}  // namespace

HayesModem::Settings::Settings() {
  const int defaults[][2] = {{2, '+'}, {3, 13}, {4, 10}, {5, 8},  {6, 2},   {7, 50},
                             {8, 2},   {9, 6},  {10, 14}, {11, 95}, {12, 50}};
  for (const auto& d : defaults) s[d[0]] = static_cast<uint8_t>(d[1]);
}

HayesModem::HayesModem(Switchboard& b, std::string n) : board(b), number(std::move(n)) {}

void HayesModem::FromComputer(uint8_t byte, uint32_t now) {
  received.push_back(static_cast<char>(byte));
  if (state == State::Online) return DataByte(byte, now);
  if (state == State::Dialing || state == State::Answering) {
    Hang(now);  // a key pressed while a call is set up abandons it
    return Result("NO CARRIER", 3);
  }
  CommandByte(byte, now);
}

size_t HayesModem::Room() const {
  if (state != State::Online || !peer || peer->state != State::Online) return kRoom;
  return peer->toComputer.size() >= kRoom ? 0 : kRoom - peer->toComputer.size();
}

void HayesModem::CommandByte(uint8_t byte, uint32_t now) {
  if (settings.echo) toComputer.push_back(byte);
  const char c = static_cast<char>(byte);
  if (!inLine) {
    inLine = sawA && (c == 'T' || c == 't');
    sawA = c == 'A' || c == 'a';
    line.clear();
  } else if (byte == settings.s[3]) {
    inLine = sawA = false;
    Execute(line, now);
  } else if (byte == settings.s[5]) {
    if (!line.empty()) line.pop_back();
  } else if (line.size() <= kMaxCommand) {
    line.push_back(c);
  }
}

void HayesModem::Execute(const std::string& text, uint32_t now) {
  commands.push_back(text);
  if (text.size() > kMaxCommand) return Result("ERROR", 4);
  bool callStarted = false;
  for (size_t i = 0; i < text.size() && !callStarted;)
    if (!Run(text, i, now, callStarted)) return Result("ERROR", 4);
  if (!callStarted) Result("OK", 0);
}

bool HayesModem::Run(const std::string& t, size_t& i, uint32_t now, bool& callStarted) {
  const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(t[i++])));
  Settings& s = settings;
  if (c == ' ') return true;
  if (c == 'D' || c == 'A') {
    if (state != State::OnHook) return false;
    callStarted = true;
    if (c == 'D') Dial(t.substr(i), now);
    else Answer(now);
    i = t.size();
    return true;
  }
  if (c == 'S') {
    const int n = Digits(t, i);
    if (n > 255 || i >= t.size() || (t[i] != '=' && t[i] != '?')) return false;
    if (t[i++] == '?') {
      char text[8];
      std::snprintf(text, sizeof text, "%03d", s.s[n]);
      Out("\r\n" + std::string(text) + "\r\n");
      return true;
    }
    const int v = Digits(t, i);
    if (v > 255) return false;
    s.s[n] = static_cast<uint8_t>(v);
    return true;
  }
  if (c == '&') {
    const char k = i < t.size() ? static_cast<char>(std::toupper(static_cast<unsigned char>(t[i++]))) : 0;
    const int v = Digits(t, i);
    switch (k) {
      case 'C': s.dcdFollows = v == 1; return v <= 1;
      case 'D': s.dtrMode = v; return v <= 3;
      case 'F': s = Settings(); return v == 0;
      case 'K': return v == 0 || v == 3 || v == 4;  // flow control: the emulated line never overruns
      case 'W': profile = s; return v <= 1;
      default: return false;
    }
  }
  const int v = Digits(t, i);
  switch (c) {
    case 'E': s.echo = v == 1; return v <= 1;
    case 'V': s.verbose = v == 1; return v <= 1;
    case 'Q': s.quiet = v == 1; return v <= 1;
    case 'X': s.extended = v; return v <= 4;
    case 'L': case 'M': return v <= 3;  // speaker volume and mode
    case 'B': return v <= 1;            // CCITT or Bell modulation
    case 'I': Out("\r\nHAYES EMULATOR " + number + "\r\n"); return v <= 9;
    case 'H':
      if (v == 0) Hang(now);
      else offHook = true;  // picked up: callers hear busy
      return v <= 1;
    case 'Z':
      Hang(now);
      s = profile;
      i = t.size();
      return v <= 1;
    case 'O':
      if (state != State::OnlineCommand) return false;
      state = State::Online;
      escapes = 0;
      lastData = now;
      callStarted = true;
      Result("CONNECT " + board.connectRate, 1);
      return true;
    default: return false;
  }
}

void HayesModem::Dial(const std::string& dialString, uint32_t now) {
  // T, P, W, commas, @, !, ; and the decoration of written numbers are modifiers, not digits.
  std::string digits;
  for (char c : dialString)
    if (std::isdigit(static_cast<unsigned char>(c)) || c == '*' || c == '#') digits += c;
  state = State::Dialing;
  giveUpAt = now + settings.s[7] * 1000u;
  giveUpArmed = true;
  if (!dialTone) {
    if (settings.extended == 2 || settings.extended == 4) Progress("NO DIALTONE", 6, now + settings.s[6] * 1000u);
    return;
  }
  HayesModem* callee = board.Find(digits);
  if (!callee || callee == this) {
    giveUpArmed = false;
    Progress("NO ANSWER", 8, giveUpAt);
  } else if (callee->Busy()) {
    if (settings.extended >= 3) Progress("BUSY", 7, now + kDialMs + kBusyMs);
  } else {
    ringing = callee;
    callee->Ring(this, now + kDialMs);
  }
}

bool HayesModem::Busy() const { return state != State::OnHook || offHook || ringingFrom || busyLine; }

void HayesModem::Ring(HayesModem* caller, uint32_t at) {
  ringingFrom = caller;
  nextRing = at;
  settings.s[1] = 0;
}

void HayesModem::Answer(uint32_t now) {
  state = State::Answering;
  giveUpAt = now + settings.s[7] * 1000u;
  giveUpArmed = true;
  if (!ringingFrom) return;  // answering a line nobody calls: carrier never comes
  peer = ringingFrom;
  ringingFrom = nullptr;
  peer->ringing = nullptr;
  peer->peer = this;
  connecting = peer->connecting = true;
  connectAt = peer->connectAt = now + kTrainMs;
}

void HayesModem::Connect(uint32_t now) {
  connecting = giveUpArmed = false;
  state = State::Online;
  carrier = true;
  lastData = now;
  escapes = 0;
  Result(settings.extended == 0 ? std::string("CONNECT") : "CONNECT " + board.connectRate, 1);
}

void HayesModem::Progress(const char* text, int code, uint32_t at) {
  progressText = text;
  progressCode = code;
  progressAt = at;
}

void HayesModem::Hang(uint32_t now) {
  if (ringing && ringing->ringingFrom == this) ringing->ringingFrom = nullptr;
  ringing = nullptr;
  if (HayesModem* p = peer) {
    peer = p->peer = nullptr;
    p->LoseCarrier(now);
  }
  state = State::OnHook;
  offHook = carrier = connecting = giveUpArmed = lossArmed = false;
  progressText = nullptr;
  escapes = 0;
}

void HayesModem::LoseCarrier(uint32_t now) {
  if (state == State::Online || state == State::OnlineCommand) {
    if (!lossArmed) carrierLossAt = now + settings.s[10] * 100u;
    lossArmed = true;
  } else if (state != State::OnHook) {
    Hang(now);
    Result("NO CARRIER", 3);
  }
}

void HayesModem::CutLine(uint32_t now) {
  if (HayesModem* p = peer) {
    peer = p->peer = nullptr;
    p->LoseCarrier(now);
  }
  LoseCarrier(now);
}

void HayesModem::SetDtr(bool on, uint32_t now) {
  const bool dropped = dtr && !on;
  dtr = on;
  if (!dropped) return;
  if (settings.dtrMode == 1 && state == State::Online) {
    state = State::OnlineCommand;
    Result("OK", 0);
  } else if (settings.dtrMode >= 2 && (state != State::OnHook || offHook)) {
    Hang(now);
  }
  if (settings.dtrMode == 3) settings = profile;
}

void HayesModem::DataByte(uint8_t byte, uint32_t now) {
  const uint8_t escape = settings.s[2];
  const bool quietBefore = now - lastData >= settings.s[12] * 20u;
  if (byte != escape || escape > 127) escapes = 0;
  else if (quietBefore) escapes = 1;
  else escapes = (escapes == 0 || escapes == 3) ? 0 : escapes + 1;
  lastData = now;
  if (peer && peer->state == State::Online) peer->toComputer.push_back(byte);
}

void HayesModem::Tick(uint32_t now) {
  if (ringingFrom && Due(nextRing, now)) {
    nextRing = now + kRingCycleMs;
    Result("RING", 2);
    ++settings.s[1];
    if (dtr && settings.s[0] > 0 && settings.s[1] >= settings.s[0]) Answer(now);
  }
  if (connecting && Due(connectAt, now)) Connect(now);
  if (progressText && Due(progressAt, now)) {
    const char* text = progressText;
    Hang(now);
    Result(text, progressCode);
  }
  if (giveUpArmed && Due(giveUpAt, now)) {
    Hang(now);
    Result("NO CARRIER", 3);
  }
  if (lossArmed && Due(carrierLossAt, now)) {
    Hang(now);
    Result("NO CARRIER", 3);
  }
  if (state == State::Online && escapes == 3 && now - lastData >= settings.s[12] * 20u) {
    escapes = 0;
    state = State::OnlineCommand;
    Result("OK", 0);
  }
}

void HayesModem::Result(const std::string& text, int code) {
  if (settings.quiet) return;
  const std::string cr(1, static_cast<char>(settings.s[3])), lf(1, static_cast<char>(settings.s[4]));
  Out(settings.verbose ? cr + lf + text + cr + lf : std::to_string(code) + cr);
}

void HayesModem::Out(const std::string& text) { toComputer.insert(toComputer.end(), text.begin(), text.end()); }
