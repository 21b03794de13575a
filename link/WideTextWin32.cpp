#include "link/WideText.h"

#include <windows.h>

namespace {
std::wstring Decode(UINT codePage, std::string_view text) {
  if (text.empty()) return std::wstring();
  const int length = static_cast<int>(text.size());
  const int size = MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
  std::wstring result(static_cast<size_t>(size > 0 ? size : 0), L'\0');
  if (size > 0) MultiByteToWideChar(codePage, 0, text.data(), length, &result[0], size);
  return result;
}
}  // namespace

std::wstring WideText::Widen(std::string_view utf8) { return Decode(CP_UTF8, utf8); }

std::string WideText::FromAnsi(std::string_view ansi) { return Narrow(Decode(CP_ACP, ansi)); }

std::string WideText::Narrow(std::wstring_view utf16) {
  if (utf16.empty()) return std::string();
  const int length = static_cast<int>(utf16.size());
  const int size = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), length, nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<size_t>(size > 0 ? size : 0), '\0');
  if (size > 0) WideCharToMultiByte(CP_UTF8, 0, utf16.data(), length, &result[0], size, nullptr, nullptr);
  return result;
}

std::wstring WideText::FilePath(std::string_view utf8) {
  std::wstring path = Widen(utf8);
  // CreateDirectory's limit (room for an 8.3 name below) is the lowest of the classic ones.
  constexpr size_t kClassicRoom = MAX_PATH - 12;
  if (path.size() < kClassicRoom || path.compare(0, 4, L"\\\\?\\") == 0) return path;
  const DWORD room = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (room == 0) return path;
  std::wstring full(room, L'\0');
  const DWORD length = GetFullPathNameW(path.c_str(), room, &full[0], nullptr);
  if (length == 0 || length >= room) return path;
  full.resize(length);
  if (full.compare(0, 4, L"\\\\.\\") == 0) return path;  // a device: no file system name
  if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}
