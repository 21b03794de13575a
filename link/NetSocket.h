// A TCP connection as the network port needs it: resolve and connect with a time-out, send and
// receive without waiting, wait for either with a time-out. NetSocketPosix.cpp (BSD sockets) and
// NetSocketWin32.cpp (Winsock) implement it; tests put a scripted one in its place.
#pragma once
#include <cstdint>
#include <string>

class NetSocket {
 public:
  // What Wait saw: input (or the connection's end) waiting, room to send.
  static constexpr int32_t kReadable = 1;
  static constexpr int32_t kWritable = 2;

  NetSocket();
  // Closes the connection.
  virtual ~NetSocket();
  NetSocket(const NetSocket&) = delete;
  NetSocket& operator=(const NetSocket&) = delete;

  // Connects to host (a name, an IPv4 address or an IPv6 one without brackets) at port,
  // trying each address the name resolves to, each for at most timeoutMs. False with Reason()
  // in words: the name not found, the connection refused, no answer in time.
  virtual bool Connect(const std::string& host, const std::string& port, int32_t timeoutMs);
  // Bytes the system took, 0 when it has no room now, -1 when the connection is broken
  // (Reason() says how).
  virtual int32_t Send(const uint8_t* bytes, int32_t length);
  // Bytes received, at most room; 0 when none waits; -1 once the connection has ended: closed
  // by the server or broken (Reason() says which).
  virtual int32_t Receive(uint8_t* bytes, int32_t room);
  // Waits at most ms for input (with wantInput) or room to send (with wantOutput); a closed or
  // broken connection counts as input. kReadable | kWritable for what is ready, 0 when the time
  // passed (or a signal ended the wait), -1 when the wait itself failed.
  virtual int32_t Wait(int32_t ms, bool wantInput, bool wantOutput);
  // Bytes the system holds received and not yet taken by Receive.
  virtual int32_t Waiting();
  // Bytes handed to the system and not yet taken by the server, where the system tells (0
  // elsewhere).
  virtual int32_t Unsent();
  // Ends our sending: the server sees the end once what the system holds has gone.
  virtual void Shutdown();
  // Closes at once (the system still sends what it holds). Idempotent.
  virtual void Close();

  bool IsOpen() const { return handle != kNone; }
  const std::string& Reason() const { return reason; }

 protected:
  static constexpr intptr_t kNone = -1;  // also Winsock's INVALID_SOCKET as a signed value
  intptr_t handle = kNone;
  std::string reason;
};
