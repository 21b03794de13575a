// The one translation of engine and link status codes into what the user and the host see: a
// message, a result code for the host, a help topic and whether the run's finish step follows.
// The job's status object, the command-line host and the progress window all read it.
#pragma once
#include <cstdint>

// When a status ends the run's display (the progress window's finish step).
enum class FinishRule { Always, Never, NotInHostMode };

struct StatusEntry {
  static constexpr int32_t kUnchanged = -1;  // result / helpId left as they were
  const char* message;
  int32_t result;  // 0..21, or kUnchanged
  int32_t helpId;  // help topic, or kUnchanged
  FinishRule finish;
};

class StatusTable {
 public:
  static constexpr int32_t kLastResult = 21;

  // The row for a status code. 0 gives an empty message that changes nothing; a link code
  // (-801 to -848) not listed gives "General communications error." (15); any other code the
  // table does not list gives "Unknown Error." with result 19 and help topic 31.
  static StatusEntry Look(int32_t code);
  // The text of a result code 0..21 (what the host shows for it); null outside that range.
  static const char* ResultText(int32_t result);
  // The help topic of a result code: the result plus 12; 0 for success.
  static int32_t HelpTopic(int32_t result) { return result == 0 ? 0 : result + 12; }
  // Whether the finish step follows a status with that rule.
  static bool Finishes(FinishRule rule, bool hostMode) {
    return rule == FinishRule::Always || (rule == FinishRule::NotInHostMode && !hostMode);
  }
};
