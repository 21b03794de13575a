// The engines' file object: one open file at a time through the platform's file functions
// (TransferFilePosix.cpp, TransferFileWin32.cpp), and the walk of a ";"-separated list of
// file specifications with wildcards and optional descent, written once over DirectorySearch.
#pragma once
#include <cstdint>

#include "transfer/DirectorySearch.h"
#include "transfer/TransferFileBase.h"

class TransferFile : public TransferFileBase {
 public:
  static constexpr int32_t kMaxDepth = 9;     // folder levels below a specification's own
  static constexpr int32_t kFieldRoom = 256;  // directory and pattern, terminator included
  static constexpr int32_t kPathRoom = 512;   // paths built while walking

  TransferFile() = default;
  // Discards an open file and ends any search still running.
  ~TransferFile() override;

  // Starts a walk (see TransferFileBase). A file still open is discarded first and searches of
  // an earlier walk are ended. 0, or -956 when the walk state cannot be allocated.
  int32_t BeginList(char* fileList, int32_t recurse) override;
  int32_t Open(const char* path, const char* mode) override;
  int32_t Close() override;
  int32_t Discard() override;
  int32_t Seek(int64_t offset, int32_t origin) override;
  int64_t Tell() override;
  int32_t ApplyTime() override;
  int32_t ReadTime() override;
  int64_t Size() override;
  // A specification, or a path built from it, longer than the walk's room (directory or name
  // part of 256 characters or more, a path of 512 or more) is passed over as not found, like
  // a specification that matches nothing.
  int32_t NextFile(int32_t wildcards) override;
  int32_t WriteBlock(const uint8_t* data, int32_t count) override;
  int32_t ReadBlock(uint8_t* data, int32_t count) override;
  int32_t WriteChar(uint8_t byte) override;
  int32_t ReadChar(uint8_t* byte) override;
  int32_t Flush() override;
  bool Exists(const char* path) override;

  // Starts the search of directory + pattern at the current depth. attributeFilter 16
  // (folders wanted) takes the first entry as it is; otherwise ".", ".." and folders are
  // passed over. 1 found, 0 none (the search is closed). Needs a walk begun by BeginList.
  int32_t FindFirst(const char* directory, const char* pattern, int32_t attributeFilter);
  // Moves the current depth's search to its next entry: 1 found, 0 exhausted (closed).
  int32_t FindNext();
  // Takes the next specification off the list (its ";" becomes a terminator) and splits it
  // at the last separator (else drive mark) into directory and pattern. false when a part
  // does not fit its room: both are left empty and the walk passes the entry over.
  bool SplitNext();

 private:
  struct FileListState {
    DirectorySearch searches[kMaxDepth + 1];  // one per depth
    char* listRest = nullptr;
    char directory[kFieldRoom] = {};
    char pattern[kFieldRoom] = {};
    int32_t state = 0;
    int32_t depth = 0;
    int32_t recurse = 0;
  };

  void EndSearches();
  // Creates the new file that replaces path at Close, in the same folder, and notes both
  // names; mode carries the old file's permissions where the platform has them. On POSIX path
  // is the name's last part, in `openFolder`. The open file, or -1.
  intptr_t OpenBeside(const char* path, uint32_t mode);
  bool TakeName(const char* directory, const char* entry);

  // The open file: a descriptor on POSIX, a HANDLE on Windows; -1 = none.
  intptr_t handle = -1;
  // POSIX: the folder the open file was found in, held until Close so that a replacement is
  // created and renamed where Open looked, whatever happens to the names meanwhile; -1 = none.
  intptr_t openFolder = -1;
  // While a file is being replaced: the file that Close replaces, and the new one beside it
  // (both empty otherwise).
  char replacedPath[kPathRoom] = {};
  char newPath[kPathRoom] = {};
  FileListState* findState = nullptr;
};
