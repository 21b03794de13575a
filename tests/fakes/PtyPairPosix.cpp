// socat-backed pty pair. The links appear only after socat has opened both masters, so their
// presence is the sign that the pair is usable.
#include "fakes/PtyPair.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

bool Exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;  // follows the link: the device must be there too
}

}  // namespace

PtyPair::PtyPair(int waitMs) {
  const char* tmp = getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/ptypair.XXXXXX";
  if (mkdtemp(&pattern[0]) == nullptr) {
    error = "cannot make a temporary folder from " + pattern;
    return;
  }
  dir = pattern;
  pathA = dir + "/a";
  pathB = dir + "/b";
  ChildOptions options;
  options.stderrPath = dir + "/socat.log";
  options.stdinPath = "/dev/null";
  if (!socat.Start({"socat", "-d", "-d", "pty,raw,echo=0,link=" + pathA,
                    "pty,raw,echo=0,link=" + pathB},
                   options)) {
    error = "cannot start socat: " + socat.Error();
    return;
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  while (!(Exists(pathA) && Exists(pathB))) {
    if (!socat.Running()) {
      error = "socat ended before making the pty pair; its log:\n" + Log();
      return;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      error = "socat did not make " + pathA + " and " + pathB + " within " +
              std::to_string(waitMs) + " ms; its log:\n" + Log();
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ok = true;
}

PtyPair::~PtyPair() {
  socat.Kill(500);
  // The folder is ours (mkdtemp), and so is whatever tests left in it.
  std::error_code ignored;
  if (!dir.empty()) std::filesystem::remove_all(dir, ignored);
}

std::string PtyPair::Log() const {
  std::ifstream in(dir + "/socat.log");
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}
