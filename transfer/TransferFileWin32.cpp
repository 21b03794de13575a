// Windows half of TransferFile: a file HANDLE opened without sharing and with normal
// attributes; the stamp goes through the DOS date and time form, read back in UTC.
#include "transfer/TransferFile.h"

#include <windows.h>

#include <climits>
#include <cstring>

#include "transfer/TransferCodes.h"

namespace {
HANDLE AsHandle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }
}  // namespace

int32_t TransferFile::Open(const char* path, const char* mode) {
  if (handle != -1) return TransferCode::FileAlreadyOpen;
  if (path == nullptr || mode == nullptr) return TransferCode::FileOpenFailed;
  DWORD access;
  DWORD disposition = OPEN_ALWAYS;
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
  } else {
    access = GENERIC_WRITE;
  }
  const HANDLE opened =
      ::CreateFileA(path, access, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (opened == INVALID_HANDLE_VALUE) return TransferCode::FileOpenFailed;
  if (std::strcmp(mode, "ab") == 0 &&
      ::SetFilePointer(opened, 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER) {
    ::CloseHandle(opened);
    return TransferCode::FileOpenFailed;
  }
  handle = reinterpret_cast<intptr_t>(opened);
  return TransferCode::Ok;
}

int32_t TransferFile::Close() {
  if (handle == -1) return TransferCode::FileNotOpen;
  const HANDLE open = AsHandle(handle);
  handle = -1;
  return ::CloseHandle(open) ? TransferCode::Ok : TransferCode::FileCloseFailed;
}

int32_t TransferFile::Seek(int32_t offset, int32_t origin) {
  if (handle == -1) return TransferCode::FileNotOpen;
  static const DWORD kMethod[] = {FILE_BEGIN, FILE_CURRENT, FILE_END};
  if (origin < 0 || origin > 2) return TransferCode::FileSeekFailed;
  return ::SetFilePointer(AsHandle(handle), offset, nullptr, kMethod[origin]) ==
                 INVALID_SET_FILE_POINTER
             ? TransferCode::FileSeekFailed
             : TransferCode::Ok;
}

int32_t TransferFile::Tell() {
  if (handle == -1) return TransferCode::FileNotOpen;
  const DWORD position = ::SetFilePointer(AsHandle(handle), 0, nullptr, FILE_CURRENT);
  if (position == INVALID_SET_FILE_POINTER || position > INT32_MAX) {
    return TransferCode::FileTellFailed;
  }
  return static_cast<int32_t>(position);
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

int32_t TransferFile::Size() {
  if (handle == -1) return TransferCode::FileNotOpen;
  if (sizeCache == -1) {
    DWORD high = 0;
    const DWORD low = ::GetFileSize(AsHandle(handle), &high);
    if (low == INVALID_FILE_SIZE && ::GetLastError() != NO_ERROR) return sizeCache;
    // The engines count in 32 bits; a larger file reports the most they can express.
    sizeCache = high != 0 || low > INT32_MAX ? INT32_MAX : static_cast<int32_t>(low);
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
  const DWORD attributes = ::GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}
