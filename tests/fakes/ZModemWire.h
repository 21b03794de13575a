// What a ZModem peer puts on the wire, for scripted-peer tests: headers made by the engine's own
// framing (binary ones with CRC-32 unless told), subpackets of any length with an independent
// CRC-32.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "fakes/FakeComLink.h"
#include "link/SerialPort.h"
#include "transfer/zmodem/ZModem.h"

struct ZModemWire {
  explicit ZModemWire(int32_t receiverFlags = Zm::CANFC32) : flags(receiverFlags) {}

  // Whatever our engine puts on the wire in `make`, talking to a receiver that announced `flags`.
  ZModemWire& Made(const std::function<void(ZModem&)>& make) {
    FakeComLink out;
    SerialPort outPort(&out);
    ZModem maker(&outPort, nullptr);
    maker.SetReceiverFlags(flags);
    make(maker);
    text.append(out.output.begin(), out.output.end());
    return *this;
  }
  // A header whose four bytes are position, least significant first (ZRINIT's flags are its
  // top byte).
  ZModemWire& Header(int32_t type, uint32_t position = 0, bool hex = false) {
    uint8_t bytes[4];
    ZModem::PutPosition(position, bytes);
    return Made([&](ZModem& m) { hex ? m.SendHexHeader(type, bytes) : m.SendBinaryHeader(type, bytes); });
  }
  ZModemWire& Sub(const std::string& data, uint8_t end) {
    uint8_t escaped[2];
    const auto put = [&](uint8_t b) { text.append(reinterpret_cast<char*>(escaped), ZModem::EscapeByte(b, escaped)); };
    for (char c : data) put(static_cast<uint8_t>(c));
    text += static_cast<char>(Zm::ZDLE);
    text += static_cast<char>(end);
    const uint32_t crc = ~Crc32Update(
        end, Crc32Check().Compute(reinterpret_cast<const uint8_t*>(data.data()), data.size(), 0xFFFFFFFFu));
    for (int i = 0; i < 4; ++i) put(static_cast<uint8_t>(crc >> (8 * i)));
    return *this;
  }
  ZModemWire& File(const std::string& name, const std::string& info) {
    return Header(Zm::ZFILE).Sub(name + std::string(1, '\0') + info, Zm::ZCRCW);
  }
  // ZDATA at position, then the data in subpackets of `piece` bytes, the last ending with end.
  ZModemWire& Data(uint32_t position, const std::string& data, size_t piece, uint8_t end) {
    Header(Zm::ZDATA, position);
    for (size_t at = 0; at < data.size(); at += piece) Sub(data.substr(at, piece), at + piece >= data.size() ? end : Zm::ZCRCG);
    return *this;
  }

  std::string text;
  int32_t flags;
};
