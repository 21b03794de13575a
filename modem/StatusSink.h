// Where a run's status line and the help topic of its failure go: the progress window on
// Windows, the console elsewhere. Dialing reports through it; the job's progress view extends it.
#pragma once
#include <cstdint>

class StatusSink {
 public:
  // Every status text of the system is shorter than this.
  static constexpr int kStatusRoom = 80;

  StatusSink() = default;
  virtual ~StatusSink() = default;
  StatusSink(const StatusSink&) = delete;
  StatusSink& operator=(const StatusSink&) = delete;

  // Shows one status line (replacing the one before).
  virtual void ShowStatus(const char* text) = 0;
  // The help topic that explains the failure just reported.
  virtual void SetHelpId(int32_t topic) = 0;

  // Formats like printf into kStatusRoom characters (a longer text is cut), then ShowStatus.
  void SetStatus(const char* format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 2, 3)))
#endif
      ;
};
