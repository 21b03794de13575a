// The links appear only after socat has opened both masters, so their presence is the sign that
// the pair is usable.
#include "fakes/PtyPair.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "fakes/TestData.h"

PtyPair::PtyPair() {
  char pattern[] = "/tmp/ptypair.XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    error = "cannot make a temporary folder";
    return;
  }
  dir = pattern;
  pathA = dir + "/a";
  pathB = dir + "/b";
  ChildOptions options;
  options.stderrPath = dir + "/socat.log";
  options.stdinPath = "/dev/null";
  if (!socat.Start({"socat", "-d", "-d", "pty,raw,echo=0,link=" + pathA, "pty,raw,echo=0,link=" + pathB}, options)) {
    error = "cannot start socat: " + socat.Error();
    return;
  }
  struct stat st;  // stat follows the link: the device must be there too
  for (int i = 0; i < 1000 && !(stat(pathA.c_str(), &st) == 0 && stat(pathB.c_str(), &st) == 0); ++i) {
    if (!socat.Running()) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ok = stat(pathA.c_str(), &st) == 0 && stat(pathB.c_str(), &st) == 0;
  if (!ok) error = "socat made no pty pair; its log:\n" + Slurp(dir + "/socat.log");
}

PtyPair::~PtyPair() {
  socat.Kill(500);
  std::error_code ignored;
  if (!dir.empty()) std::filesystem::remove_all(dir, ignored);
}
