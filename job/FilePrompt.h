// The file prompt of TransferFiles: asks the user which files to send (or the name to receive
// into) and, for ZModem with receiver naming, the name each file gets at the receiver. The
// windows are behind a seam, so the rules run and test on any platform.
#pragma once
#include <cstdint>
#include <string>

#include "job/FileSelection.h"

struct TransferSettings;

// The windows the prompt shows.
class FilePromptWindows {
 public:
  static constexpr int32_t kOk = 1, kCancel = 2;  // buttons, as dialogs number them
  virtual ~FilePromptWindows() = default;

  struct Request {
    std::string title;   // "Select File to Transfer" or "Select File to Receive"
    std::string folder;  // where the dialog starts
    bool multiple;       // several files may be chosen (ZModem)
  };
  // The file-open dialog: false when it was cancelled or failed (a selection too long for it).
  virtual bool ChooseFiles(const Request& request, FileSelection& chosen) = 0;
  // "Send File As ...": the button that closed it, and the list of sender and receiver names
  // (empty when a receiver name is missing or the user cancelled).
  virtual int32_t SendFileAs(const FileSelection& chosen, std::string& list) = 0;
};

class FilePrompt {
 public:
  // The bytes the file-open dialog may fill with the chosen names.
  static constexpr size_t kBufferSize = 521;

  // Runs the prompt over the settings (reads Transfer, Protocol, PathSwitch and DefaultDir;
  // writes FileList and Attempted). FileList is emptied whatever happens. Returns 0 to go on
  // (a cancelled dialog included: the caller then finds no file), 4 when "Send File As ..."
  // ended with OK but a receiver name missing, 6 when it was cancelled.
  static int32_t Run(TransferSettings& settings, FilePromptWindows& windows);
};
