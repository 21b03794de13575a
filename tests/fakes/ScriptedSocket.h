// A NetSocket with a scripted server behind it: each reply is released once everything we sent
// contains its trigger (in order), and handed out `chunk` bytes per Receive; Send takes at most
// `room` bytes per call; Wait moves the fake clock by what it was asked when nothing is ready.
#pragma once
#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "fakes/FakeClock.h"
#include "link/NetSocket.h"

class ScriptedSocket : public NetSocket {
 public:
  // (trigger, reply) pairs; an empty trigger is released at the connect.
  std::vector<std::pair<std::string, std::string>> replies;
  size_t chunk = 4096, room = 1 << 20;
  bool closesAfterScript = false;  // the server ends the connection once all is said
  std::string sent, host, port;

  bool Connect(const std::string& h, const std::string& p, int32_t) override {
    host = h, port = p, handle = 1;
    Release();
    return true;
  }
  int32_t Send(const uint8_t* bytes, int32_t length) override {
    const size_t n = std::min(room, static_cast<size_t>(length));
    sent.append(reinterpret_cast<const char*>(bytes), n);
    Release();
    return static_cast<int32_t>(n);
  }
  int32_t Receive(uint8_t* bytes, int32_t want) override {
    const size_t n = std::min({chunk, static_cast<size_t>(want), incoming.size() - at});
    if (n == 0 && Ended()) {
      reason = "the server closed the connection";
      return -1;
    }
    std::memcpy(bytes, incoming.data() + at, n);
    at += n;
    return static_cast<int32_t>(n);
  }
  int32_t Wait(int32_t ms, bool wantInput, bool wantOutput) override {
    const int32_t ready = (wantInput && (at < incoming.size() || Ended()) ? kReadable : 0) | (wantOutput ? kWritable : 0);
    if (ready == 0) FakeClock::Advance(static_cast<uint32_t>(ms > 0 ? ms : 0));
    return ready;
  }
  int32_t Waiting() override { return static_cast<int32_t>(incoming.size() - at); }
  int32_t Unsent() override { return 0; }
  void Shutdown() override {}
  void Close() override { handle = kNone; }

 private:
  bool Ended() const { return closesAfterScript && next == replies.size() && at == incoming.size(); }
  void Release() {
    while (next < replies.size() && sent.find(replies[next].first, searchFrom) != std::string::npos) {
      searchFrom = sent.find(replies[next].first, searchFrom) + replies[next].first.size();
      incoming += replies[next++].second;
    }
  }
  std::string incoming;
  size_t at = 0, next = 0, searchFrom = 0;
};
