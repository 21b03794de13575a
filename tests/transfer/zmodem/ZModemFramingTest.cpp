// ZModem framing against a scripted link: the escape set, the exact bytes of hex and binary
// headers, the readers' limits (upper-case hex, CAN counts, noise, time-outs, subpacket
// length) and CRC failures, each on the byte stream a peer would really produce.
#include "transfer/zmodem/ZModem.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "fakes/FakeClock.h"
#include "fakes/FakeComLink.h"
#include "fakes/ZModemWire.h"
#include "link/SerialPort.h"

namespace {

const uint8_t kZero[4] = {};

class Framing : public ::testing::Test {
 protected:
  Framing() : port(&link), z(&port, &status) { link.idleStepMs = 5; }
  // What our own sender would put on the wire for a header (and optionally a subpacket).
  static std::string Made(int32_t flags, const std::function<void(ZModem&)>& make) {
    return ZModemWire(flags).Made(make).text;
  }
  static std::string Hex(int32_t type) { return ZModemWire(0).Header(type, 0, true).text; }
  void StartData() {
    link.AddInput(Made(Zm::CANFC32, [](ZModem& m) { m.SendBinaryHeader(Zm::ZDATA, kZero); }));
    ASSERT_EQ(z.ReceiveHeader(1), Zm::ZDATA);
  }

  FakeClock clock;
  FakeComLink link;
  SerialPort port;
  TransferStatus status;
  ZModem z;
};

TEST_F(Framing, HeaderBytesOnTheWire) {
  const uint8_t pos[4] = {0xE8, 0x03, 0, 0};
  EXPECT_EQ(Made(0, [&](ZModem& m) { m.SendHexHeader(Zm::ZRPOS, pos); }),
            std::string("**\x18" "B09e8030000") + "f005\r\n\x11");  // CRC from an independent CRC-16/XMODEM
  for (int32_t type : {Zm::ZACK, Zm::ZFIN}) EXPECT_EQ(Hex(type).substr(18), "\r\n") << type;  // no XON
  // Binary headers of either CRC, exactly, against CRCs computed elsewhere (a plain CRC-16/XMODEM,
  // the standard CRC-32): a ZDATA header at 0x12345678, then "123456789" ending with ZCRCE.
  const uint8_t at[4] = {0x78, 0x56, 0x34, 0x12};
  const auto framed = [&](int32_t flags) {
    return Made(flags, [&](ZModem& m) {
      m.SendBinaryHeader(Zm::ZDATA, at);
      std::memcpy(m.Data(), "123456789", 9);
      m.SendSubpacket(9, Zm::ZCRCE);
    });
  };
  EXPECT_EQ(framed(0), std::string("*\x18" "A\nxV4\x12\x96" "T" "123456789\x18h\x08\xdc"));
  EXPECT_EQ(framed(Zm::CANFC32), std::string("*\x18" "C\nxV4\x12r\xb7\xbb\x02" "123456789\x18h#w\xad" "C"));
  // Exactly the nine flow-control, modem-escape and ZDLE bytes are escaped; 0x98 and other
  // control bytes go as they are.
  const std::string escaped = Made(0, [](ZModem& m) {
    const uint8_t data[] = {0x0D, 0x10, 0x11, 0x13, 0x18, 0x8D, 0x90, 0x91, 0x93, 0x98, 0x0E, 0x7F, 0xFF};
    std::memcpy(m.Data(), data, sizeof data);
    m.SendSubpacket(sizeof data, Zm::ZCRCE);
  });
  EXPECT_EQ(escaped, std::string("\x18\x4d\x18\x50\x18\x51\x18\x53\x18\x58\x18\xcd\x18\xd0\x18\xd1\x18\xd3\x98\x0e"
                                 "\x7f\xff\x18\x68\x25\xa2"));
}

// Each row on a fresh reader: the results of successive reads (1: return on an error, 0: read
// on), the errors counted, the code the run is left with and the position of the last header.
TEST_F(Framing, HeaderReaderLineEndsCaseCansAndNoise) {
  const std::string zrinit = Hex(Zm::ZRINIT).substr(0, 18), cans = "\x18\x18\x18\x18";
  const uint8_t b[4] = {0xAB, 0xCD, 0, 0};
  const std::string good = Made(0, [&](ZModem& m) { m.SendHexHeader(Zm::ZRPOS, b); });
  std::string upper = good;
  for (char& c : upper)
    if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
  const struct {
    const char* name;
    std::string input;
    int32_t returnOnError;
    std::vector<int32_t> results;
    int32_t errors = 0, code = 0;
    uint32_t position = 0;
  } rows[] = {
      {"CR LF XON", zrinit + "\r\n\x11", 1, {Zm::ZRINIT}},
      {"CR, LF with parity, XON", zrinit + "\r\x8a\x11", 1, {Zm::ZRINIT}},
      {"LF alone", zrinit + "\n", 1, {Zm::ZRINIT}},
      {"LF with parity alone", zrinit + "\x8a", 1, {Zm::ZRINIT}},
      {"no line end", zrinit + "Q\r\n", 1, {TransferCode::NoHeader}, 1},
      {"upper-case hex is counted, the next header read", upper + good, 0, {Zm::ZRPOS}, 1, 0, 0xCDAB},
      {"four CANs do not cancel", cans + "x" + Hex(Zm::ZFIN), 1, {Zm::ZFIN}},
      {"five do", cans + "\x18" + Hex(Zm::ZFIN), 1, {TransferCode::RemoteCancelled}, 0, TransferCode::RemoteCancelled},
      {"noise up to the garbage limit", std::string(2047, 'x') + Hex(Zm::ZACK), 1, {Zm::ZACK}},
      {"noise past it ends the attempt, the header behind stays", std::string(2048, 'x') + Hex(Zm::ZACK), 1,
       {TransferCode::NoHeader, Zm::ZACK}, 1},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    FakeComLink line;
    line.idleStepMs = 5;
    SerialPort serial(&line);
    TransferStatus st;
    ZModem reader(&serial, &st);
    line.AddInput(r.input);
    for (int32_t result : r.results) EXPECT_EQ(result, reader.ReceiveHeader(r.returnOnError));
    EXPECT_EQ(r.errors, st.errors);
    EXPECT_EQ(r.code, st.code);
    EXPECT_EQ(r.position, ZModem::Position(reader.HeaderBytes()));
  }
}

TEST_F(Framing, SilenceTimesOutAfterTenSecondsAndErrorsAreLimited) {
  const uint32_t start = FakeClock::Now();
  EXPECT_EQ(z.ReceiveHeader(1), TransferCode::NoHeader);
  EXPECT_EQ(z.FrameKind(), LinkCode::Timeout);
  EXPECT_GE(FakeClock::Now() - start, 10000u);
  EXPECT_LT(FakeClock::Now() - start, 11000u);
  EXPECT_EQ(status.errors, 1);
  status.retries = 0;
  z.SetMaxErrors(3);
  link.AddInput(std::string(4, '*') + "\x18Z" + "*\x18Z*\x18Z*\x18Z*\x18Z");
  EXPECT_EQ(z.ReceiveHeader(0), TransferCode::ErrorLimit);
  EXPECT_EQ(status.retries, 4);
}

// CRC-16 byte at a time, CRC-32 in chunks: the same subpackets, then one damaged byte.
TEST_F(Framing, SubpacketsRoundTripWithEitherCrcAndCatchCorruption) {
  for (int32_t flags : {0, Zm::CANFC32}) {
    link.readChunk = flags ? SIZE_MAX : 1;
    std::string data;
    for (int i = 0; i < 1024; ++i) data += static_cast<char>(i * 7);
    const std::string wire = Made(flags, [&](ZModem& m) {
      m.SendBinaryHeader(Zm::ZDATA, kZero);
      std::copy(data.begin(), data.end(), m.Data());
      m.SendSubpacket(1024, Zm::ZCRCG);
      m.SendSubpacket(0, Zm::ZCRCW);
    });
    link.AddInput(wire);
    ASSERT_EQ(z.ReceiveHeader(1), Zm::ZDATA);
    EXPECT_EQ(z.ReceiveSubpacket(), Zm::ZCRCG);
    EXPECT_EQ(status.blockLength, 1024);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(z.Data()), 1024), data);
    EXPECT_EQ(z.ReceiveSubpacket(), Zm::ZCRCW);
    EXPECT_EQ(status.blockLength, 0);
    EXPECT_EQ(wire.back(), '\x11');  // XON after ZCRCW
    std::string bad = wire;
    bad[40] = static_cast<char>(bad[40] ^ 0x01);
    if (bad[39] == '\x18') bad[40] = static_cast<char>(bad[40] ^ 0x03);
    link.AddInput(bad);
    ASSERT_EQ(z.ReceiveHeader(1), Zm::ZDATA);
    EXPECT_EQ(z.ReceiveSubpacket(), flags ? TransferCode::Crc32Mismatch : TransferCode::Crc16Mismatch);
    link.ClearBuffer(0, 0);
  }
  StartData();  // five CANs cancel in data too
  link.AddInput("abc\x18\x18\x18\x18\x18");
  EXPECT_EQ(z.ReceiveSubpacket(), TransferCode::RemoteCancelled);
}

}  // namespace
