// A linked pair of pseudo-terminals made by socat in a fresh temporary folder: what one end
// writes the other reads, like two serial ports joined by a null-modem cable. POSIX only.
#pragma once
#include <string>

#include "fakes/ChildProcess.h"

class PtyPair {
 public:
  // Starts socat and waits (at most five seconds) until both ends exist. Check Ok(); on failure
  // Error() says why, with socat's own log.
  PtyPair();
  // Stops socat and removes the temporary folder with whatever tests left in it.
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  bool Ok() const { return ok; }
  const std::string& Error() const { return error; }
  // The two ends (symbolic links to the /dev/pts devices) and the folder that holds them, which
  // tests may also use for their files.
  const std::string& PathA() const { return pathA; }
  const std::string& PathB() const { return pathB; }
  const std::string& Dir() const { return dir; }
  // Ends socat early: both ends then report a hang-up, as a device that went away.
  void Stop() { socat.Kill(500); }

 private:
  bool ok = false;
  std::string error, dir, pathA, pathB;
  ChildProcess socat;
};
