// The file prompt's windows on Windows: the system's file-open dialog and "Send File As ...".
#pragma once
#include <string>

#include "job/FilePrompt.h"

class FilePromptDialogs : public FilePromptWindows {
 public:
  explicit FilePromptDialogs(std::string file) : helpFile(std::move(file)) {}
  bool ChooseFiles(const Request& request, FileSelection& chosen) override;
  int32_t SendFileAs(const FileSelection& chosen, std::string& list) override;

 private:
  std::string helpFile;
};
