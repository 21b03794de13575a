// The rows of "Send File As ...": each chosen file beside the path and name the receiver is to
// store it under, and the list the dialog hands back.
#pragma once
#include <string>
#include <vector>

#include "job/FileSelection.h"

class SendAsList {
 public:
  static constexpr size_t kNameChars = 259;  // what Edit Receiver File Name takes back

  struct Row {
    std::string sender, receiver;
  };

  // One row per chosen file. Several files: the sender is the folder and the name, the receiver
  // the bare name. One file: the sender is its path as chosen, the receiver what follows the
  // last backslash.
  static std::vector<Row> Build(const FileSelection& chosen);
  // Sender and receiver of every row in order, joined by ";"; empty as soon as a row has no
  // receiver name (the caller then reports the missing name).
  static std::string Result(const std::vector<Row>& rows);
};
