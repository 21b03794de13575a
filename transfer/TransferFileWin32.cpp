// Windows half of TransferFile: a file HANDLE opened without sharing and with normal
// attributes; the stamp goes through the DOS date and time form, read back in UTC. Names are
// UTF-8 and reach the system through the W functions, long ones in the \\?\ form.
#include "transfer/TransferFile.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "link/WideText.h"
#include "transfer/TransferCodes.h"

namespace {
HANDLE AsHandle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

DWORD Attributes(const char* path) { return ::GetFileAttributesW(WideText::FilePath(path).c_str()); }

// The folders of a relative name, from the working folder down, each opened as itself and held
// without delete sharing, so that none can be renamed or replaced by a link until released.
// false when a part is missing, not a folder, or a junction, folder link or other reparse
// point (even one that leads back inside): a sender's name cannot leave the receiving folder
// through a link planted there. The system folds "." and ".." away before it looks at a name,
// so a ".." never climbs out of a link; those parts are not checked on their own. A name with
// a drive or from the root is the user's own and holds nothing.
bool HoldFolders(const char* path, std::vector<HANDLE>& held) {
  if (path[0] == '\\' || path[0] == '/' || std::strchr(path, ':') != nullptr) return true;
  const size_t length = std::strlen(path);
  for (size_t i = 0, start = 0; i < length; ++i) {
    if (path[i] != '\\' && path[i] != '/') continue;
    const size_t part = i - start;
    const bool dots = part == 0 || (part <= 2 && std::strncmp(path + start, "..", part) == 0);
    start = i + 1;
    if (dots) continue;
    const std::wstring prefix = WideText::FilePath(std::string_view(path, i));
    // Listing access takes part in the sharing check, so the missing delete sharing binds.
    const HANDLE folder =
        ::CreateFileW(prefix.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (folder == INVALID_HANDLE_VALUE) return false;
    held.push_back(folder);
    // Wine opens the folder a host link leads to, but shows the link by its name.
    BY_HANDLE_FILE_INFORMATION opened{};
    const DWORD named = ::GetFileAttributesW(prefix.c_str());
    const DWORD attributes = ::GetFileInformationByHandle(folder, &opened) ? opened.dwFileAttributes | named : named;
    if (named == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      return false;
    }
  }
  return true;
}

void ReleaseFolders(std::vector<HANDLE>& held) {
  for (HANDLE folder : held) ::CloseHandle(folder);
  held.clear();
}
}  // namespace

int32_t TransferFile::Open(const char* path, const char* mode) {
  if (handle != -1) return TransferCode::FileAlreadyOpen;
  if (path == nullptr || mode == nullptr) return TransferCode::FileOpenFailed;
  DWORD access;
  DWORD disposition = OPEN_ALWAYS;
  bool writing = true;
  if (std::strchr(mode, 'a') != nullptr) {
    access = GENERIC_READ | GENERIC_WRITE;
  } else if (std::strchr(mode, 'w') != nullptr) {
    if (std::strchr(mode, 'r') != nullptr) {
      access = GENERIC_READ | GENERIC_WRITE;
    } else {
      access = GENERIC_WRITE;
      disposition = CREATE_ALWAYS;
    }
  } else if (std::strchr(mode, 'r') != nullptr) {
    access = GENERIC_READ;  // a missing file is created empty, as the engines expect
    writing = false;
  } else {
    access = GENERIC_WRITE;
  }
  std::vector<HANDLE> held;
  if (writing && !HoldFolders(path, held)) {
    ReleaseFolders(held);
    return TransferCode::FileOpenFailed;
  }
  const DWORD attributes = Attributes(path);
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  // A link is not written through: where it leads is not followed here.
  const bool unfit = (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) ||
                     (writing && exists && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0);
  const HANDLE opened =
      unfit ? INVALID_HANDLE_VALUE
      : disposition == CREATE_ALWAYS && exists
          ? AsHandle(OpenBeside(path, 0))
          : ::CreateFileW(WideText::FilePath(path).c_str(), access, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                          nullptr);
  ReleaseFolders(held);
  if (opened == INVALID_HANDLE_VALUE) return TransferCode::FileOpenFailed;
  handle = reinterpret_cast<intptr_t>(opened);
  // A device name (CON, NUL, COM1...) opens the device itself: only disk files are taken.
  const bool refused = ::GetFileType(opened) != FILE_TYPE_DISK ||
                       (std::strcmp(mode, "ab") == 0 &&
                        ::SetFilePointer(opened, 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER);
  if (refused) {
    Discard();
    return TransferCode::FileOpenFailed;
  }
  return TransferCode::Ok;
}

intptr_t TransferFile::OpenBeside(const char* path, uint32_t) {
  // A short name in the same folder, so the final move stays within one volume and even a name
  // near the length limit has room beside it (GetTempFileName takes no long folder).
  size_t folder = 0;
  for (size_t i = 0; path[i] != '\0'; ++i)
    if (path[i] == '\\' || path[i] == '/' || path[i] == ':') folder = i + 1;
  if (std::strlen(path) >= sizeof replacedPath || folder + 16 > sizeof newPath) return -1;
  static std::atomic<uint32_t> made{0};
  HANDLE opened = INVALID_HANDLE_VALUE;
  for (int32_t attempt = 0; opened == INVALID_HANDLE_VALUE && attempt < 100; ++attempt) {
    const uint32_t mix = static_cast<uint32_t>(::GetCurrentProcessId()) * 2654435761u ^ ::GetTickCount() ^
                         (++made * 40503u);
    std::snprintf(newPath, sizeof newPath, "%.*szdl%04X.tmp", static_cast<int>(folder), path, mix & 0xFFFFu);
    opened = ::CreateFileW(WideText::FilePath(newPath).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (opened == INVALID_HANDLE_VALUE) {
    newPath[0] = '\0';
    return -1;
  }
  std::strcpy(replacedPath, path);
  return reinterpret_cast<intptr_t>(opened);
}

int32_t TransferFile::Close() {
  if (handle == -1) return TransferCode::FileNotOpen;
  const HANDLE open = AsHandle(handle);
  handle = -1;
  bool done = ::CloseHandle(open) != 0;
  if (newPath[0] != '\0') {
    // The folders are checked and held again: the names may have changed since Open.
    std::vector<HANDLE> held;
    done = done && HoldFolders(replacedPath, held) &&
           ::MoveFileExW(WideText::FilePath(newPath).c_str(), WideText::FilePath(replacedPath).c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    if (!done) ::DeleteFileW(WideText::FilePath(newPath).c_str());
    ReleaseFolders(held);
    newPath[0] = replacedPath[0] = '\0';
  }
  return done ? TransferCode::Ok : TransferCode::FileCloseFailed;
}

int32_t TransferFile::Discard() {
  if (handle == -1) return TransferCode::FileNotOpen;
  ::CloseHandle(AsHandle(handle));
  handle = -1;
  if (newPath[0] != '\0') ::DeleteFileW(WideText::FilePath(newPath).c_str());
  newPath[0] = replacedPath[0] = '\0';
  return TransferCode::Ok;
}

int32_t TransferFile::Seek(int64_t offset, int32_t origin) {
  if (handle == -1) return TransferCode::FileNotOpen;
  static const DWORD kMethod[] = {FILE_BEGIN, FILE_CURRENT, FILE_END};
  if (origin < 0 || origin > 2) return TransferCode::FileSeekFailed;
  LARGE_INTEGER distance;
  distance.QuadPart = offset;
  return ::SetFilePointerEx(AsHandle(handle), distance, nullptr, kMethod[origin]) ? TransferCode::Ok
                                                                                   : TransferCode::FileSeekFailed;
}

int64_t TransferFile::Tell() {
  if (handle == -1) return TransferCode::FileNotOpen;
  LARGE_INTEGER zero, position;
  zero.QuadPart = 0;
  if (!::SetFilePointerEx(AsHandle(handle), zero, &position, FILE_CURRENT)) return TransferCode::FileTellFailed;
  return position.QuadPart;
}

int32_t TransferFile::ApplyTime() {
  if (handle == -1) return TransferCode::FileNotOpen;
  Flush();
  // The DOS form covers 1980 to 2107; outside it the stamp is left alone, as on POSIX.
  if (year < 1980 || year > 2107) return TransferCode::Ok;
  const WORD dosDate = static_cast<WORD>(((year - 1980) << 9) | (month << 5) | day);
  const WORD dosTime = static_cast<WORD>((hour << 11) | (minute << 5) | (second / 2));
  FILETIME written{};
  // DosDateTimeToFileTime does no time-zone conversion: the fields are stamped as UTC.
  if (::DosDateTimeToFileTime(dosDate, dosTime, &written)) {
    ::SetFileTime(AsHandle(handle), nullptr, nullptr, &written);
  }
  return TransferCode::Ok;
}

int32_t TransferFile::ReadTime() {
  if (handle == -1) return TransferCode::FileNotOpen;
  FILETIME written{};
  SYSTEMTIME fields{};
  // Whole seconds in UTC, like the POSIX side (the DOS form would halve the resolution).
  if (::GetFileTime(AsHandle(handle), nullptr, nullptr, &written) &&
      ::FileTimeToSystemTime(&written, &fields)) {
    SetDateTime(fields.wYear, fields.wMonth, fields.wDay, fields.wHour, fields.wMinute,
                fields.wSecond);
  }
  return TransferCode::Ok;
}

int64_t TransferFile::Size() {
  if (handle == -1) return TransferCode::FileNotOpen;
  if (sizeCache == -1) {
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(AsHandle(handle), &size)) return sizeCache;
    sizeCache = size.QuadPart;
  }
  return sizeCache;
}

int32_t TransferFile::WriteBlock(const uint8_t* data, int32_t count) {
  if (handle == -1 || data == nullptr || count <= 0) return 0;
  DWORD moved = 0;
  if (!::WriteFile(AsHandle(handle), data, static_cast<DWORD>(count), &moved, nullptr)) return 0;
  return static_cast<int32_t>(moved);
}

int32_t TransferFile::ReadBlock(uint8_t* data, int32_t count) {
  if (handle == -1 || data == nullptr || count <= 0) return 0;
  DWORD moved = 0;
  if (!::ReadFile(AsHandle(handle), data, static_cast<DWORD>(count), &moved, nullptr)) return 0;
  return static_cast<int32_t>(moved);
}

int32_t TransferFile::WriteChar(uint8_t byte) { return WriteBlock(&byte, 1); }

int32_t TransferFile::ReadChar(uint8_t* byte) { return ReadBlock(byte, 1); }

int32_t TransferFile::Flush() {
  if (handle == -1) return 0;
  return ::FlushFileBuffers(AsHandle(handle)) ? 1 : 0;
}

bool TransferFile::Exists(const char* path) {
  if (path == nullptr) return false;
  std::vector<HANDLE> held;
  const DWORD attributes = HoldFolders(path, held) ? Attributes(path) : INVALID_FILE_ATTRIBUTES;
  ReleaseFolders(held);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}
