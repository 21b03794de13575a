#include "job/FileSelection.h"

#include <cstring>

FileSelection FileSelection::FromBuffer(const char* buffer, size_t size) {
  std::vector<std::string> strings;
  size_t at = 0;
  while (at < size && buffer[at] != '\0') {
    const void* end = std::memchr(buffer + at, '\0', size - at);
    const size_t length = end ? static_cast<size_t>(static_cast<const char*>(end) - (buffer + at)) : size - at;
    strings.emplace_back(buffer + at, length);
    at += length + 1;
  }
  FileSelection selection;
  if (strings.size() > 1) {
    selection.folder = strings.front();
    strings.erase(strings.begin());
  }
  selection.names = std::move(strings);
  return selection;
}

std::string FileSelection::PathOf(size_t index) const {
  if (folder.empty()) return names[index];
  return folder.back() == '\\' ? folder + names[index] : folder + "\\" + names[index];
}

std::string FileSelection::JoinedPaths() const {
  std::string list;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i) list += ';';
    list += PathOf(i);
  }
  return list;
}
