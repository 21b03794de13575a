// A ProgressView that records every call as a line of text ("status Timeout.", "file a.bin 10",
// "bytes 5/10", "errors 2", "log a.bin|OK|10", "finish"), for tests of the job's status object
// and driver. Its finish step behaves like a view that shows no errors: it sets the done event.
#pragma once
#include <mutex>
#include <string>
#include <vector>

#include "job/ProgressView.h"

class RecordingView : public ProgressView {
 public:
  void ShowStatus(const char* text) override {
    status = text;
    Add(std::string("status ") + text);
  }
  void ShowBytes(int64_t bytes, int64_t size) override {
    Add("bytes " + std::to_string(bytes) + "/" + std::to_string(size));
  }
  void ShowErrorCount(int32_t count) override { Add("errors " + std::to_string(count)); }
  void AddLogEntry(const char* name, const char* message, int64_t size) override {
    Add(std::string("log ") + name + "|" + message + "|" + std::to_string(size));
  }
  void FinishRun() override {
    Add("finish");
    if (finishSetsDone) doneEvent.Set();
  }

  // The recorded lines that start with prefix.
  std::vector<std::string> Lines(const std::string& prefix) const {
    std::lock_guard<std::mutex> hold(lock);
    std::vector<std::string> found;
    for (const std::string& c : calls)
      if (c.compare(0, prefix.size(), prefix) == 0) found.push_back(c);
    return found;
  }

  std::vector<std::string> calls;
  std::string status;
  bool finishSetsDone = true;

 protected:
  void DisplayFile(const char* name, int64_t size) override {
    Add(std::string("file ") + name + " " + std::to_string(size));
  }

 private:
  void Add(const std::string& line) {
    std::lock_guard<std::mutex> hold(lock);
    calls.push_back(line);
  }
  mutable std::mutex lock;
};
