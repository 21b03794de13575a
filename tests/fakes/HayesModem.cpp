// The modem's rules follow what real Hayes-compatible modems do, not what our code expects: any
// key aborts a call being set up, commands before an unknown one still take effect, a remote
// hang-up is reported after the S10 carrier-loss delay, +++ counts only with guard times.
#include "fakes/HayesModem.h"

#include <cctype>

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
  const int defaults[][2] = {{2, '+'}, {3, 13}, {4, 10}, {6, 2}, {7, 50}, {10, 14}, {12, 50}};
  for (const auto& d : defaults) s[d[0]] = static_cast<uint8_t>(d[1]);
}

HayesModem::HayesModem(Switchboard& b, std::string n) : board(b), number(std::move(n)) {}

void HayesModem::FromComputer(uint8_t byte, uint32_t now) {
  received.push_back(static_cast<char>(byte));
  if (state == State::Online) {
    const bool quietBefore = now - lastData >= settings.s[12] * 20u;
    if (byte != settings.s[2] || settings.s[2] > 127) escapes = 0;
    else if (quietBefore) escapes = 1;
    else escapes = (escapes == 0 || escapes == 3) ? 0 : escapes + 1;
    lastData = now;
    if (peer && peer->state == State::Online) peer->toComputer.push_back(byte);
    return;
  }
  if (state == State::Dialing || state == State::Answering) {
    Hang(now);  // a key pressed while a call is set up abandons it
    return Result("NO CARRIER");
  }
  if (settings.echo) toComputer.push_back(byte);
  const char c = static_cast<char>(byte);
  if (!inLine) {
    inLine = sawA && (c == 'T' || c == 't');
    sawA = c == 'A' || c == 'a';
    line.clear();
  } else if (byte == settings.s[3]) {
    inLine = sawA = false;
    Execute(line, now);
  } else {
    line.push_back(c);
  }
}

size_t HayesModem::Room() const {
  if (state != State::Online || !peer || peer->state != State::Online) return kRoom;
  return peer->toComputer.size() >= kRoom ? 0 : kRoom - peer->toComputer.size();
}

void HayesModem::Execute(const std::string& t, uint32_t now) {
  commands.push_back(t);
  Settings& s = settings;
  for (size_t i = 0; i < t.size();) {
    const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(t[i++])));
    if (c == 'D' || c == 'A') {
      if (state != State::OnHook) return Result("ERROR");
      return c == 'D' ? Dial(t.substr(i), now) : Answer(now);
    }
    const char k = c == '&' && i < t.size() ? static_cast<char>(std::toupper(static_cast<unsigned char>(t[i++]))) : 0;
    const int v = Digits(t, i);
    if (c == 'S') {
      if (v > 255 || i >= t.size() || t[i++] != '=') return Result("ERROR");
      s.s[v] = static_cast<uint8_t>(Digits(t, i));
    } else if (c == 'E') {
      s.echo = v == 1;
    } else if (k == 'C') {
      s.dcdFollows = v == 1;
    } else if (c == 'Z' || k == 'F') {
      if (c == 'Z') Hang(now);
      s = Settings();
    } else if (c == 'H') {
      Hang(now);
    } else if (!std::isalpha(static_cast<unsigned char>(c)) && c != '&' && c != ' ') {
      return Result("ERROR");
    }
  }
  Result("OK");
}

void HayesModem::Dial(const std::string& dialString, uint32_t now) {
  // T, P, W, commas, @, !, ; and the decoration of written numbers are modifiers, not digits.
  std::string digits;
  for (char c : dialString)
    if (std::isdigit(static_cast<unsigned char>(c)) || c == '*' || c == '#') digits += c;
  state = State::Dialing;
  giveUpAt = now + settings.s[7] * 1000u;
  giveUpArmed = true;
  HayesModem* callee = dialTone ? board.Find(digits) : nullptr;
  if (!dialTone) {
    progressText = "NO DIALTONE";
    progressAt = now + settings.s[6] * 1000u;
  } else if (!callee || callee == this) {
    progressText = "NO ANSWER";
    progressAt = giveUpAt;
  } else if (callee->Busy()) {
    progressText = "BUSY";
    progressAt = now + kDialMs + kBusyMs;
  } else {
    ringing = callee;
    callee->ringingFrom = this;
    callee->nextRing = now + kDialMs;
    callee->settings.s[1] = 0;
  }
}

bool HayesModem::Busy() const { return state != State::OnHook || ringingFrom || busyLine; }

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
  Result("CONNECT 33600");
}

void HayesModem::Hang(uint32_t now) {
  if (ringing && ringing->ringingFrom == this) ringing->ringingFrom = nullptr;
  ringing = nullptr;
  if (HayesModem* p = peer) {
    peer = p->peer = nullptr;
    p->LoseCarrier(now);
  }
  state = State::OnHook;
  carrier = connecting = giveUpArmed = lossArmed = false;
  progressText = nullptr;
  escapes = 0;
}

void HayesModem::LoseCarrier(uint32_t now) {
  if (state == State::Online || state == State::OnlineCommand) {
    if (!lossArmed) carrierLossAt = now + settings.s[10] * 100u;
    lossArmed = true;
  } else if (state != State::OnHook) {
    Hang(now);
    Result("NO CARRIER");
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
  if (dtr && !on && state != State::OnHook) Hang(now);
  dtr = on;
}

void HayesModem::Tick(uint32_t now) {
  if (ringingFrom && Due(nextRing, now)) {
    nextRing = now + kRingCycleMs;
    Result("RING");
    ++settings.s[1];
    if (dtr && settings.s[0] > 0 && settings.s[1] >= settings.s[0]) Answer(now);
  }
  if (connecting && Due(connectAt, now)) Connect(now);
  if (progressText && Due(progressAt, now)) {
    const char* text = progressText;
    Hang(now);
    Result(text);
  }
  if ((giveUpArmed && Due(giveUpAt, now)) || (lossArmed && Due(carrierLossAt, now))) {
    Hang(now);
    Result("NO CARRIER");
  }
  if (state == State::Online && escapes == 3 && now - lastData >= settings.s[12] * 20u) {
    escapes = 0;
    state = State::OnlineCommand;
    Result("OK");
  }
}

bool HayesModem::NextTimer(uint32_t& at) const {
  bool any = false;
  auto consider = [&](bool armed, uint32_t when) {
    if (armed && (!any || static_cast<int32_t>(when - at) < 0)) at = when, any = true;
  };
  consider(ringingFrom != nullptr, nextRing);
  consider(connecting, connectAt);
  consider(progressText != nullptr, progressAt);
  consider(giveUpArmed, giveUpAt);
  consider(lossArmed, carrierLossAt);
  consider(state == State::Online && escapes == 3, lastData + settings.s[12] * 20u);
  return any;
}

void HayesModem::Result(const std::string& text) {
  const std::string cr(1, static_cast<char>(settings.s[3])), lf(1, static_cast<char>(settings.s[4]));
  const std::string out = cr + lf + text + cr + lf;
  toComputer.insert(toComputer.end(), out.begin(), out.end());
}
