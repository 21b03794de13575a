// The Telnet layer as a byte-at-a-time state machine, so that a command split across any number
// of reads is taken whole, and the option negotiation after RFC 854's rule: answer only what
// changes an option's state, which keeps two sides from answering each other for ever.
#include "link/TelnetComPort.h"

namespace {
constexpr uint8_t kSe = 240, kSb = 250, kWill = 251, kWont = 252, kDo = 253, kDont = 254;
constexpr uint8_t kBinary = 0, kSuppressGoAhead = 3, kComPortOption = 44;
constexpr uint8_t kServerOffset = 100;  // a server's command is the client's + 100

// The options we take on our side and on the server's.
bool OursSupported(uint8_t option) {
  return option == kBinary || option == kSuppressGoAhead || option == kComPortOption;
}
bool TheirsSupported(uint8_t option) { return option == kBinary || option == kSuppressGoAhead; }
}  // namespace

void TelnetComPort::Start() {
  for (uint8_t option : {kBinary, kSuppressGoAhead, kComPortOption}) {
    ours[option].asked = true;
    Send3(kWill, option);
  }
  for (uint8_t option : {kBinary, kSuppressGoAhead}) {
    theirs[option].asked = true;
    Send3(kDo, option);
  }
}

void TelnetComPort::Send3(uint8_t verb_, uint8_t option) {
  outgoing.insert(outgoing.end(), {kIac, verb_, option});
}

void TelnetComPort::EncodeData(const uint8_t* bytes, size_t n, std::vector<uint8_t>& wire) {
  for (size_t i = 0; i < n; ++i) {
    wire.push_back(bytes[i]);
    if (bytes[i] == kIac) wire.push_back(kIac);
  }
}

int TelnetComPort::KeyOf(uint8_t command, uint32_t value) {
  if (command != kSetControl) return command;
  switch (value) {
    case 0: case 1: case 2: case 3: case 17: case 19: return 13;  // outbound flow control
    case 4: case 5: case 6: return 14;                            // BREAK
    case 7: case 8: case 9: return 15;                            // DTR
    case 10: case 11: case 12: return 16;                         // RTS
    case 13: case 14: case 15: case 16: case 18: return 17;       // inbound flow control
    default: return kSetControl;
  }
}

int TelnetComPort::Request(Command command, uint32_t value) {
  outgoing.insert(outgoing.end(), {kIac, kSb, kComPortOption, static_cast<uint8_t>(command)});
  // Suspend and resume carry no value and get no answer.
  const bool carriesValue = command != kFlowControlSuspend && command != kFlowControlResume;
  if (command == kSetBaudRate) {
    const uint8_t be[4] = {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
                           static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
    EncodeData(be, 4, outgoing);
  } else if (carriesValue) {
    const uint8_t v = static_cast<uint8_t>(value);
    EncodeData(&v, 1, outgoing);
  }
  outgoing.insert(outgoing.end(), {kIac, kSe});
  const int key = KeyOf(command, value);
  if (carriesValue) ++pending[key];
  return key;
}

size_t TelnetComPort::Receive(const uint8_t* bytes, size_t n, uint8_t* data) {
  size_t count = 0;
  for (size_t i = 0; i < n; ++i) {
    const uint8_t b = bytes[i];
    switch (state) {
      case State::Data:
        if (b == kIac)
          state = State::Iac;
        else
          data[count++] = b;
        break;
      case State::Iac:
        state = State::Data;
        if (b == kIac)
          data[count++] = kIac;
        else if (b >= kWill && b <= kDont) {
          verb = b;
          state = State::Verb;
        } else if (b == kSb) {
          state = State::SubOption;
        }
        // Anything else (NOP, go-ahead, data mark, ...) means nothing to a serial line.
        break;
      case State::Verb:
        Negotiate(verb, b);
        state = State::Data;
        break;
      case State::SubOption:
        sub[0] = b;
        subLength = 1;
        state = State::Sub;
        break;
      case State::Sub:
        if (b == kIac)
          state = State::SubIac;
        else if (subLength < kSubRoom)
          sub[subLength++] = b;
        break;
      case State::SubIac:
        if (b == kSe) {
          SubNegotiation();
          state = State::Data;
        } else if (b == kIac) {
          if (subLength < kSubRoom) sub[subLength++] = kIac;
          state = State::Sub;
        } else {
          // A sub-negotiation cut short by another command: dropped, and the command taken.
          state = State::Iac;
          --i;
        }
        break;
    }
  }
  return count;
}

void TelnetComPort::Negotiate(uint8_t verb_, uint8_t option) {
  const bool known = option < kOptions;
  switch (verb_) {
    case kDo:
      if (!OursSupported(option)) {
        Send3(kWont, option);
        return;
      }
      if (!ours[option].enabled && !ours[option].asked) Send3(kWill, option);
      ours[option] = {true, false};
      if (option == kComPortOption) comPort = Agreement::Agreed;
      return;
    case kDont:
      if (known) {
        if (ours[option].enabled && !ours[option].asked) Send3(kWont, option);
        ours[option] = {false, false};
      }
      if (option == kComPortOption) comPort = Agreement::Refused;
      return;
    case kWill:
      if (!TheirsSupported(option)) {
        Send3(kDont, option);
        return;
      }
      if (!theirs[option].enabled && !theirs[option].asked) Send3(kDo, option);
      theirs[option] = {true, false};
      return;
    default:  // WONT
      if (known) {
        if (theirs[option].enabled && !theirs[option].asked) Send3(kDont, option);
        theirs[option] = {false, false};
      }
      return;
  }
}

void TelnetComPort::SubNegotiation() {
  if (sub[0] != kComPortOption || subLength < 2 || sub[1] < kServerOffset) return;
  // A server that answers in the option has taken it, whether or not its DO came first.
  if (comPort == Agreement::Asked) comPort = Agreement::Agreed;
  const uint8_t command = static_cast<uint8_t>(sub[1] - kServerOffset);
  const uint8_t* value = sub + 2;
  const size_t length = subLength - 2;
  switch (command) {
    case kSignature:
      signature.assign(reinterpret_cast<const char*>(value), length);
      return;
    case kNotifyLineState:
      if (length >= 1) lineErrors |= value[0] & 0x1E;
      return;
    case kNotifyModemState:
      if (length >= 1) modemState = value[0];
      return;
    case kFlowControlSuspend:
      suspended = true;
      return;
    case kFlowControlResume:
      suspended = false;
      return;
    default:
      break;
  }
  if (command > kPurgeData || length < (command == kSetBaudRate ? 4u : 1u)) return;
  const uint32_t v = command == kSetBaudRate
                         ? (uint32_t{value[0]} << 24 | uint32_t{value[1]} << 16 | uint32_t{value[2]} << 8 | value[3])
                         : value[0];
  const int key = KeyOf(command, v);
  answers[key] = v;
  if (pending[key] > 0) --pending[key];
}
