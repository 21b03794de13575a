// NetSocket over BSD sockets: a non-blocking descriptor from the start, so the connect's time-out
// is a poll and no later call can stall the link.
#include "link/NetSocket.h"

#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "link/TickSource.h"

NetSocket::NetSocket() = default;

NetSocket::~NetSocket() { Close(); }

bool NetSocket::Connect(const std::string& host, const std::string& port, int32_t timeoutMs) {
  Close();
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int r = getaddrinfo(host.c_str(), port.c_str(), &hints, &found);
  if (r != 0) {
    reason = std::string("cannot find the host: ") + (r == EAI_SYSTEM ? strerror(errno) : gai_strerror(r));
    return false;
  }
  for (addrinfo* a = found; a && handle == kNone; a = a->ai_next) {
    const int fd = socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) {
      reason = strerror(errno);
      continue;
    }
    int error = connect(fd, a->ai_addr, a->ai_addrlen) == 0 ? 0 : errno;
    if (error == EINPROGRESS) {
      const uint32_t deadline = TickSource::Now() + static_cast<uint32_t>(timeoutMs);
      pollfd p{fd, POLLOUT, 0};
      int ready;
      // A signal (Ctrl-C) must not cut the connect short: the job asks for the cancel later.
      for (;;) {
        const int32_t left = static_cast<int32_t>(deadline - TickSource::Now());
        ready = poll(&p, 1, left > 0 ? left : 0);
        if (ready >= 0 || errno != EINTR || left <= 0) break;
      }
      socklen_t size = sizeof error;
      if (ready <= 0)
        error = ETIMEDOUT;
      else if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0)
        error = errno;
    }
    if (error != 0) {
      reason = error == ETIMEDOUT ? "no answer within " + std::to_string(timeoutMs / 1000) + " s" : strerror(error);
      close(fd);
      continue;
    }
    // The engines' answers are a few bytes each and wanted at once.
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    handle = fd;
  }
  freeaddrinfo(found);
  if (handle == kNone) return false;
  reason.clear();
  return true;
}

int32_t NetSocket::Send(const uint8_t* bytes, int32_t length) {
  if (handle == kNone) return -1;
  ssize_t n;
  do n = send(static_cast<int>(handle), bytes, static_cast<size_t>(length), MSG_NOSIGNAL);
  while (n < 0 && errno == EINTR);
  if (n >= 0) return static_cast<int32_t>(n);
  if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
  reason = strerror(errno);
  return -1;
}

int32_t NetSocket::Receive(uint8_t* bytes, int32_t room) {
  if (handle == kNone) return -1;
  ssize_t n;
  do n = recv(static_cast<int>(handle), bytes, static_cast<size_t>(room), 0);
  while (n < 0 && errno == EINTR);
  if (n > 0) return static_cast<int32_t>(n);
  if (n == 0) {
    reason = "the server closed the connection";
    return -1;
  }
  if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
  reason = strerror(errno);
  return -1;
}

int32_t NetSocket::Wait(int32_t ms, bool wantInput, bool wantOutput) {
  if (handle == kNone) return -1;
#if defined(TCP_QUICKACK)
  // Before waiting for more, what came is acknowledged at once: a server that holds the rest of a
  // block until then (Nagle's rule; ser2net does) would otherwise wait out Linux's delayed
  // acknowledgement, 40 ms, on every block of a lockstep protocol. Setting the flag sends an
  // acknowledgement that is due; the system clears it again by itself.
  if (wantInput) {
    const int on = 1;
    setsockopt(static_cast<int>(handle), IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
  }
#endif
  // With neither wanted the poll still ends early on a hang-up or an error.
  pollfd p{static_cast<int>(handle), static_cast<short>((wantInput ? POLLIN : 0) | (wantOutput ? POLLOUT : 0)), 0};
  const int r = poll(&p, 1, ms > 0 ? ms : 0);
  if (r < 0) return errno == EINTR ? 0 : -1;
  int32_t ready = 0;
  if (p.revents & (POLLIN | POLLHUP | POLLERR)) ready |= kReadable;
  if (p.revents & POLLOUT) ready |= kWritable;
  return ready;
}

int32_t NetSocket::Waiting() {
  int n = 0;
  if (handle == kNone || ioctl(static_cast<int>(handle), FIONREAD, &n) != 0) return 0;
  return n;
}

int32_t NetSocket::Unsent() {
  int n = 0;
#if defined(__linux__)
  // On a TCP socket Linux answers the bytes not yet acknowledged by the server.
  if (handle != kNone && ioctl(static_cast<int>(handle), TIOCOUTQ, &n) != 0) n = 0;
#endif
  return n;
}

void NetSocket::Shutdown() {
  if (handle != kNone) shutdown(static_cast<int>(handle), SHUT_WR);
}

void NetSocket::Close() {
  if (handle == kNone) return;
  close(static_cast<int>(handle));
  handle = kNone;
}
