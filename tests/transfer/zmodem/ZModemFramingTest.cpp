// ZModem framing against a scripted link: the escape set, the exact bytes of hex and binary
// headers, the readers' limits (upper-case hex, CAN counts, noise, time-outs, subpacket
// length) and CRC failures, each on the byte stream a peer would really produce.
#include "transfer/zmodem/ZModem.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes/FakeClock.h"
#include "fakes/FakeComLink.h"
#include "link/SerialPort.h"

namespace {

class Framing : public ::testing::Test {
 protected:
  Framing() : port(&link), z(&port, &status) { link.idleStepMs = 5; }
  std::string Out() const { return std::string(link.output.begin(), link.output.end()); }
  // What our own sender would put on the wire for a header (and optionally a subpacket).
  std::string Made(int32_t flags, const std::function<void(ZModem&)>& make) {
    FakeComLink other;
    SerialPort otherPort(&other);
    ZModem maker(&otherPort, nullptr);
    maker.SetReceiverFlags(flags);
    make(maker);
    return std::string(other.output.begin(), other.output.end());
  }

  FakeClock clock;
  FakeComLink link;
  SerialPort port;
  TransferStatus status;
  ZModem z;
};

const uint8_t kZero[4] = {};

TEST_F(Framing, EscapesExactlyTheNineControlBytes) {
  const std::vector<int> expected = {0x0D, 0x10, 0x11, 0x13, 0x18, 0x8D, 0x90, 0x91, 0x93};
  std::vector<int> escaped;
  for (int b = 0; b < 256; ++b) {
    uint8_t out[2];
    if (ZModem::EscapeByte(static_cast<uint8_t>(b), out) == 2) {
      escaped.push_back(b);
      EXPECT_EQ(out[0], 0x18);
      EXPECT_EQ(out[1], b ^ 0x40);
    }
  }
  EXPECT_EQ(escaped, expected);
  uint8_t out[2];
  EXPECT_EQ(ZModem::EscapeByte(0x98, out), 1);  // the high twin of CAN that is not in the set
  EXPECT_EQ(ZModem::EscapeByte(0x0D, out), 2);
  EXPECT_EQ(out[1], 0x4D);
}

TEST_F(Framing, HexHeadersEndWithCrLfAndXonButZackAndZfinWithout) {
  const uint8_t pos[4] = {0xE8, 0x03, 0, 0};
  z.SendHexHeader(Zm::ZRPOS, pos);
  EXPECT_EQ(Out(), std::string("**\x18" "B09e8030000") + "f005\r\n\x11");  // CRC from an independent CRC-16/XMODEM
  link.output.clear();
  z.SendHexHeader(Zm::ZACK, kZero);
  EXPECT_EQ(Out().substr(Out().size() - 2), "\r\n");
  link.output.clear();
  z.SendHexHeader(Zm::ZFIN, kZero);
  EXPECT_EQ(Out().substr(Out().size() - 2), "\r\n");
}

TEST_F(Framing, BinaryHeaderPicksItsCrcFromTheReceiverFlags) {
  const std::string wide = Made(Zm::CANFC32, [](ZModem& m) { m.SendBinaryHeader(Zm::ZDATA, kZero); });
  const std::string narrow = Made(0, [](ZModem& m) { m.SendBinaryHeader(Zm::ZDATA, kZero); });
  EXPECT_EQ(wide.substr(0, 3), "*\x18" "C");
  EXPECT_EQ(narrow.substr(0, 3), "*\x18" "A");
  EXPECT_EQ(narrow.size(), 3u + 5 + 2);  // nothing to escape here, nothing trailing
  for (const std::string& wire : {wide, narrow}) {
    link.AddInput(wire);
    EXPECT_EQ(z.ReceiveHeader(1), Zm::ZDATA);
  }
}

TEST_F(Framing, HexHeaderLineEndsOfEveryPeerAreAccepted) {
  const std::string head = Made(0, [](ZModem& m) { m.SendHexHeader(Zm::ZRINIT, kZero); }).substr(0, 18);
  for (const std::string& tail : {std::string("\r\n\x11"), std::string("\r\x8a\x11"), std::string("\n"),
                                  std::string("\x8a")}) {
    link.AddInput(head + tail);
    EXPECT_EQ(z.ReceiveHeader(1), Zm::ZRINIT) << "tail of " << tail.size();
  }
  link.AddInput(head + "Q\r\n");
  EXPECT_EQ(z.ReceiveHeader(1), TransferCode::NoHeader);
}

TEST_F(Framing, UpperCaseHexIsRejectedAndCountedThenTheNextHeaderIsRead) {
  std::string good = Made(0, [](ZModem& m) {
    const uint8_t b[4] = {0xAB, 0xCD, 0, 0};
    m.SendHexHeader(Zm::ZRPOS, b);
  });
  std::string upper = good;
  for (char& c : upper)
    if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
  link.AddInput(upper + good);
  EXPECT_EQ(z.ReceiveHeader(0), Zm::ZRPOS);
  EXPECT_EQ(status.errors, 1);
  EXPECT_EQ(ZModem::Position(z.HeaderBytes()), 0xCDABu);
}

TEST_F(Framing, FiveCansCancelButFourDoNot) {
  const std::string good = Made(0, [](ZModem& m) { m.SendHexHeader(Zm::ZFIN, kZero); });
  link.AddInput("\x18\x18\x18\x18x" + good);
  EXPECT_EQ(z.ReceiveHeader(1), Zm::ZFIN);
  EXPECT_EQ(status.code, 0);
  link.AddInput("\x18\x18\x18\x18\x18" + good);
  EXPECT_EQ(z.ReceiveHeader(1), TransferCode::RemoteCancelled);
  EXPECT_EQ(status.code, TransferCode::RemoteCancelled);
}

TEST_F(Framing, FiveZdlesInsideDataCancel) {
  link.AddInput(Made(Zm::CANFC32, [](ZModem& m) { m.SendBinaryHeader(Zm::ZDATA, kZero); }));
  ASSERT_EQ(z.ReceiveHeader(1), Zm::ZDATA);
  link.AddInput("abc\x18\x18\x18\x18\x18");
  EXPECT_EQ(z.ReceiveSubpacket(), TransferCode::RemoteCancelled);
}

TEST_F(Framing, NoiseUpToTheGarbageLimitEndsTheAttempt) {
  const std::string good = Made(0, [](ZModem& m) { m.SendHexHeader(Zm::ZACK, kZero); });
  link.AddInput(std::string(2047, 'x') + good);
  EXPECT_EQ(z.ReceiveHeader(1), Zm::ZACK);
  link.AddInput(std::string(2048, 'x') + good);
  EXPECT_EQ(z.ReceiveHeader(1), TransferCode::NoHeader);
  EXPECT_EQ(status.errors, 1);
  EXPECT_EQ(z.ReceiveHeader(1), Zm::ZACK);  // the header behind the noise is still there
}

TEST_F(Framing, SilenceTimesOutAfterTenSecondsAsOneError) {
  const uint32_t start = FakeClock::Now();
  EXPECT_EQ(z.ReceiveHeader(1), TransferCode::NoHeader);
  EXPECT_EQ(z.FrameKind(), LinkCode::Timeout);
  EXPECT_GE(FakeClock::Now() - start, 10000u);
  EXPECT_LT(FakeClock::Now() - start, 11000u);
  EXPECT_EQ(status.errors, 1);
}

TEST_F(Framing, ErrorLimitStopsRetryingHeaders) {
  z.SetMaxErrors(3);
  link.AddInput(std::string(4, '*') + "\x18Z" + "*\x18Z*\x18Z*\x18Z*\x18Z");
  EXPECT_EQ(z.ReceiveHeader(0), TransferCode::ErrorLimit);
  EXPECT_EQ(status.retries, 4);
}

TEST_F(Framing, SubpacketsRoundTripWithEitherCrcAndCatchCorruption) {
  for (int32_t flags : {0, Zm::CANFC32}) {
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
}

TEST_F(Framing, ASubpacketHoldsAtMost1024Bytes) {
  link.AddInput(Made(Zm::CANFC32, [](ZModem& m) { m.SendBinaryHeader(Zm::ZDATA, kZero); }));
  ASSERT_EQ(z.ReceiveHeader(1), Zm::ZDATA);
  link.AddInput(std::string(1025, 'a') + "\x18h");
  EXPECT_EQ(z.ReceiveSubpacket(), LinkCode::ShortWrite);
}

TEST_F(Framing, ByteAtATimeInputReadsTheSame) {
  link.readChunk = 1;
  const std::string wire = Made(Zm::CANFC32, [](ZModem& m) {
    m.SendBinaryHeader(Zm::ZDATA, kZero);
    for (int i = 0; i < 300; ++i) m.Data()[i] = static_cast<uint8_t>(0x80 + i);
    m.SendSubpacket(300, Zm::ZCRCE);
  });
  link.AddInput(wire);
  ASSERT_EQ(z.ReceiveHeader(1), Zm::ZDATA);
  EXPECT_EQ(z.ReceiveSubpacket(), Zm::ZCRCE);
  EXPECT_EQ(status.blockLength, 300);
}

}  // namespace
