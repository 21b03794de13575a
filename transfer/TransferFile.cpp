// The portable half of TransferFile: the file-list walk as a resumable state machine over
// DirectorySearch, and the factory the engines use.
#include "transfer/TransferFile.h"

#include <cstring>
#include <new>

#include "transfer/TransferCodes.h"

namespace {
// a + b into out when it fits with its terminator; false (out untouched) otherwise.
bool Join(char* out, size_t room, const char* a, const char* b) {
  const size_t lengthA = std::strlen(a);
  const size_t lengthB = std::strlen(b);
  if (lengthA + lengthB >= room) return false;
  std::memmove(out, a, lengthA);
  std::memcpy(out + lengthA, b, lengthB + 1);
  return true;
}

bool IsDot(const char* entry) {
  return std::strcmp(entry, ".") == 0 || std::strcmp(entry, "..") == 0;
}

// Position just after the last separator of text[0, length), else after its last drive
// mark, else 0.
size_t FolderLength(const char* text, size_t length) {
  for (size_t i = length; i > 0; --i) {
    if (DirectorySearch::IsSeparator(text[i - 1])) return i;
  }
  for (size_t i = length; i > 0; --i) {
    if (DirectorySearch::IsDriveMark(text[i - 1])) return i;
  }
  return 0;
}
}  // namespace

TransferFileBase* CreateTransferFile() { return new (std::nothrow) TransferFile; }

TransferFile::~TransferFile() {
  if (handle != -1) Discard();
  delete findState;
}

void TransferFile::EndSearches() {
  for (DirectorySearch& search : findState->searches) search.Close();
  findState->depth = 0;
}

int32_t TransferFile::BeginList(char* list, int32_t recurse) {
  name[0] = '\0';
  // The engines begin a walk before any Open; a file left open would otherwise leak.
  if (handle != -1) Discard();
  if (findState == nullptr) {
    findState = new (std::nothrow) FileListState();
    if (findState == nullptr) return TransferCode::FileNoMemory;
  }
  EndSearches();
  if (list != nullptr) fileList = list;
  findState->listRest = fileList;
  findState->state = 0;
  findState->recurse = recurse;
  return TransferCode::Ok;
}

bool TransferFile::SplitNext() {
  FileListState& walk = *findState;
  walk.directory[0] = '\0';
  walk.pattern[0] = '\0';
  char* entry = walk.listRest;
  if (entry == nullptr) return true;
  char* end = std::strchr(entry, ';');
  if (end != nullptr) {
    *end = '\0';
    walk.listRest = end + 1;
  } else {
    walk.listRest = nullptr;
  }
  const size_t length = std::strlen(entry);
  const size_t folder = FolderLength(entry, length);
  if (folder >= kFieldRoom || length - folder >= kFieldRoom) return false;
  std::memcpy(walk.directory, entry, folder);
  walk.directory[folder] = '\0';
  std::memcpy(walk.pattern, entry + folder, length - folder + 1);
  return true;
}

int32_t TransferFile::FindFirst(const char* directory, const char* pattern,
                                int32_t attributeFilter) {
  DirectorySearch& search = findState->searches[findState->depth];
  if (!search.Start(directory, pattern)) return 0;
  if (attributeFilter == 16) return 1;
  while (IsDot(search.Name()) || search.IsDirectory()) {
    if (!search.Next()) return 0;
  }
  return 1;
}

int32_t TransferFile::FindNext() {
  return findState->searches[findState->depth].Next() ? 1 : 0;
}

bool TransferFile::TakeName(const char* directory, const char* entry) {
  return Join(name, kNameRoom, directory, entry);
}

int32_t TransferFile::NextFile(int32_t wildcards) {
  if (findState == nullptr) return 0;
  FileListState& walk = *findState;
  char path[kPathRoom];
  for (;;) {
    DirectorySearch& search = walk.searches[walk.depth];
    switch (walk.state) {
      case 0:  // next specification
        if (!SplitNext()) break;  // too long: passed over as not found
        if (walk.pattern[0] == '\0') {
          walk.listRest = nullptr;  // an empty entry ends the list for good
          return 0;
        }
        walk.state = 1;
        break;
      case 1:  // the files of directory matching pattern
        if (wildcards == 0) {
          // Handed out as it stands. Below the starting folder this also abandons the
          // descent, so the next entry starts from a clean walk.
          EndSearches();
          walk.state = 0;
          if (TakeName(walk.directory, walk.pattern)) return 1;
          break;
        }
        if (FindFirst(walk.directory, walk.pattern, 0) == 0) {
          walk.state = 3;
          break;
        }
        walk.state = 2;
        if (TakeName(walk.directory, search.Name())) return 1;
        break;
      case 2:  // more files of the same search
        if (FindNext() == 0) {
          walk.state = 3;
        } else if (!IsDot(search.Name()) && !search.IsDirectory() &&
                   TakeName(walk.directory, search.Name())) {
          return 1;
        }
        break;
      case 3:  // subfolders of directory
        walk.state = walk.depth < kMaxDepth && walk.recurse != 0 &&
                             FindFirst(walk.directory, "*.*", 16) != 0
                         ? 5
                         : 6;
        break;
      case 4:  // next subfolder
        walk.state = FindNext() != 0 ? 5 : 6;
        break;
      case 5: {  // descend when the entry is a folder whose path fits
        walk.state = 4;
        const char* entry = search.Name();
        if (IsDot(entry) || !search.IsDirectory()) break;
        if (!Join(path, kPathRoom, walk.directory, entry)) break;
        const size_t length = std::strlen(path);
        if (length + 1 >= static_cast<size_t>(kFieldRoom)) break;
        std::memcpy(walk.directory, path, length);
        walk.directory[length] = DirectorySearch::Separator();
        walk.directory[length + 1] = '\0';
        ++walk.depth;
        walk.state = 1;
        break;
      }
      case 6:  // this folder is done: back up one level, or on to the next specification
        if (walk.depth == 0) {
          walk.state = 0;
          break;
        }
        --walk.depth;
        {
          const size_t length = std::strlen(walk.directory);
          walk.directory[FolderLength(walk.directory, length > 0 ? length - 1 : 0)] = '\0';
        }
        walk.state = 4;
        break;
      default:
        walk.state = 0;
        break;
    }
  }
}
