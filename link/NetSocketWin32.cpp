// NetSocket over Winsock: a non-blocking socket from the start, select for the connect's time-out
// and for the waits (one socket; a failed connect shows in the exception set, which WSAPoll does
// not report on every Windows release).
#include "link/NetSocket.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include "link/TickSource.h"
#include "link/WideText.h"

namespace {
// Winsock's request for an acknowledgement of every segment (Windows 8 and later), which the
// mingw headers lack.
constexpr DWORD kSetAckFrequency = _WSAIOW(IOC_VENDOR, 23);

SOCKET Handle(intptr_t h) { return static_cast<SOCKET>(h); }

// The system's words for a Winsock error, without the closing line break.
std::string Words(int error) {
  wchar_t text[256] = L"";
  DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           static_cast<DWORD>(error), 0, text, 256, nullptr);
  while (n > 0 && (text[n - 1] == L'\n' || text[n - 1] == L'\r' || text[n - 1] == L' ' || text[n - 1] == L'.')) --n;
  return n > 0 ? WideText::Narrow(std::wstring_view(text, n)) : "network error " + std::to_string(error);
}

// select over the one socket for at most ms: which sets it is in, or -1.
int Select(SOCKET s, int32_t ms, bool read, bool write, bool& inRead, bool& inWrite, bool& inError) {
  fd_set r, w, e;
  FD_ZERO(&r);
  FD_ZERO(&w);
  FD_ZERO(&e);
  if (read) FD_SET(s, &r);
  if (write) FD_SET(s, &w);
  FD_SET(s, &e);  // never an empty call, which Winsock refuses
  timeval t{ms / 1000, (ms % 1000) * 1000};
  const int n = select(0, &r, &w, &e, &t);
  inRead = n > 0 && FD_ISSET(s, &r);
  inWrite = n > 0 && FD_ISSET(s, &w);
  inError = n > 0 && FD_ISSET(s, &e);
  return n;
}
}  // namespace

NetSocket::NetSocket() {
  // Started once, on first use (never from DllMain, where Winsock may not be started), and left
  // to the process's end.
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  if (!started) reason = "Windows Sockets did not start";
}

NetSocket::~NetSocket() { Close(); }

bool NetSocket::Connect(const std::string& host, const std::string& port, int32_t timeoutMs) {
  Close();
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int r = getaddrinfo(host.c_str(), port.c_str(), &hints, &found);
  if (r != 0) {
    reason = "cannot find the host: " + Words(r);
    return false;
  }
  for (addrinfo* a = found; a && handle == kNone; a = a->ai_next) {
    SOCKET s = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
    if (s == INVALID_SOCKET) {
      reason = Words(WSAGetLastError());
      continue;
    }
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    int error = connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) == 0 ? 0 : WSAGetLastError();
    if (error == WSAEWOULDBLOCK) {
      bool inRead, inWrite, inError;
      const int n = Select(s, timeoutMs, false, true, inRead, inWrite, inError);
      int size = sizeof error;
      if (n <= 0)
        error = WSAETIMEDOUT;
      else if (inError || !inWrite)
        getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size);
      else
        error = 0;
      if (inError && error == 0) error = WSAECONNREFUSED;
    }
    if (error != 0) {
      reason = error == WSAETIMEDOUT ? "no answer within " + std::to_string(timeoutMs / 1000) + " s" : Words(error);
      closesocket(s);
      continue;
    }
    // The engines' answers are a few bytes each and wanted at once.
    const BOOL on = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<const char*>(&on), sizeof on);
    // A server that holds the rest of a block until we acknowledge what came (Nagle's rule;
    // ser2net does) would wait out Windows' delayed acknowledgement, 200 ms, on every block of a
    // lockstep protocol. A system that does not know the request refuses it, changing nothing.
    DWORD every = 1, unused = 0;
    WSAIoctl(s, kSetAckFrequency, &every, sizeof every, nullptr, 0, &unused, nullptr, nullptr);
    handle = static_cast<intptr_t>(s);
  }
  freeaddrinfo(found);
  if (handle == kNone) return false;
  reason.clear();
  return true;
}

int32_t NetSocket::Send(const uint8_t* bytes, int32_t length) {
  if (handle == kNone) return -1;
  const int n = send(Handle(handle), reinterpret_cast<const char*>(bytes), length, 0);
  if (n >= 0) return n;
  const int error = WSAGetLastError();
  if (error == WSAEWOULDBLOCK) return 0;
  reason = Words(error);
  return -1;
}

int32_t NetSocket::Receive(uint8_t* bytes, int32_t room) {
  if (handle == kNone) return -1;
  const int n = recv(Handle(handle), reinterpret_cast<char*>(bytes), room, 0);
  if (n > 0) return n;
  if (n == 0) {
    reason = "the server closed the connection";
    return -1;
  }
  const int error = WSAGetLastError();
  if (error == WSAEWOULDBLOCK) return 0;
  reason = Words(error);
  return -1;
}

int32_t NetSocket::Wait(int32_t ms, bool wantInput, bool wantOutput) {
  if (handle == kNone) return -1;
  bool inRead, inWrite, inError;
  const int n = Select(Handle(handle), ms > 0 ? ms : 0, wantInput, wantOutput, inRead, inWrite, inError);
  if (n < 0) return -1;
  return (inRead || inError ? kReadable : 0) | (inWrite ? kWritable : 0);
}

int32_t NetSocket::Waiting() {
  u_long n = 0;
  if (handle == kNone || ioctlsocket(Handle(handle), FIONREAD, &n) != 0) return 0;
  return static_cast<int32_t>(n);
}

int32_t NetSocket::Unsent() { return 0; }  // Winsock does not tell

void NetSocket::Shutdown() {
  if (handle != kNone) shutdown(Handle(handle), SD_SEND);
}

void NetSocket::Close() {
  if (handle == kNone) return;
  closesocket(Handle(handle));
  handle = kNone;
}
