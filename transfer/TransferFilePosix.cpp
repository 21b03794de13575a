// POSIX half of TransferFile: the open file is a descriptor (close-on-exec, no user-space
// buffering), stamped and read with futimens/fstat in UTC.
#include "transfer/TransferFile.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstring>

#include "transfer/TransferCodes.h"

namespace {
constexpr int32_t kEpochDay = 2440588;  // Julian day number of 1970-01-01

// Floor division, so that times before 1970 land on the right day.
int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }
}  // namespace

int32_t TransferFile::Open(const char* path, const char* mode) {
  if (handle != -1) return TransferCode::FileAlreadyOpen;
  if (path == nullptr || mode == nullptr) return TransferCode::FileOpenFailed;
  int flags;
  if (std::strchr(mode, 'a') != nullptr) {
    flags = O_RDWR | O_CREAT;
  } else if (std::strchr(mode, 'w') != nullptr) {
    flags = std::strchr(mode, 'r') != nullptr ? O_RDWR | O_CREAT : O_WRONLY | O_CREAT | O_TRUNC;
  } else if (std::strchr(mode, 'r') != nullptr) {
    flags = O_RDONLY | O_CREAT;  // a missing file is created empty, as the engines expect
  } else {
    flags = O_WRONLY | O_CREAT;
  }
  int fd;
  do {
    fd = ::open(path, flags | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return TransferCode::FileOpenFailed;
  // A folder opens read-only on POSIX; refuse it as the Windows file functions do.
  struct stat info {};
  if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    ::close(fd);
    return TransferCode::FileOpenFailed;
  }
  if (std::strcmp(mode, "ab") == 0 && ::lseek(fd, 0, SEEK_END) < 0) {
    ::close(fd);
    return TransferCode::FileOpenFailed;
  }
  handle = fd;
  return TransferCode::Ok;
}

int32_t TransferFile::Close() {
  if (handle == -1) return TransferCode::FileNotOpen;
  const int fd = static_cast<int>(handle);
  handle = -1;
  // Even when close reports an error the descriptor is gone; retrying could close another.
  return ::close(fd) == 0 ? TransferCode::Ok : TransferCode::FileCloseFailed;
}

int32_t TransferFile::Seek(int32_t offset, int32_t origin) {
  if (handle == -1) return TransferCode::FileNotOpen;
  static const int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
  if (origin < 0 || origin > 2) return TransferCode::FileSeekFailed;
  return ::lseek(static_cast<int>(handle), offset, kWhence[origin]) < 0
             ? TransferCode::FileSeekFailed
             : TransferCode::Ok;
}

int32_t TransferFile::Tell() {
  if (handle == -1) return TransferCode::FileNotOpen;
  const off_t position = ::lseek(static_cast<int>(handle), 0, SEEK_CUR);
  if (position < 0 || position > INT32_MAX) return TransferCode::FileTellFailed;
  return static_cast<int32_t>(position);
}

int32_t TransferFile::ApplyTime() {
  if (handle == -1) return TransferCode::FileNotOpen;
  Flush();
  // The stamp goes through the DOS date and time form, as on Windows: two-second
  // resolution, years 1980 to 2107. A date outside that range leaves the stamp alone.
  if (year < 1980 || year > 2107) return TransferCode::Ok;
  const uint16_t dosDate = static_cast<uint16_t>(((year - 1980) << 9) | (month << 5) | day);
  const uint16_t dosTime = static_cast<uint16_t>((hour << 11) | (minute << 5) | (second / 2));
  const int32_t y = 1980 + (dosDate >> 9), mo = (dosDate >> 5) & 15, d = dosDate & 31;
  const int32_t h = dosTime >> 11, mi = (dosTime >> 5) & 63, s = (dosTime & 31) * 2;
  if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59) {
    return TransferCode::Ok;
  }
  const int64_t days = JulianDayOf(y, mo, d) - kEpochDay;
  timespec times[2] = {};
  times[0].tv_nsec = UTIME_OMIT;  // the access time stays as it is
  times[1].tv_sec = static_cast<time_t>(((days * 24 + h) * 60 + mi) * 60 + s);
  ::futimens(static_cast<int>(handle), times);
  return TransferCode::Ok;
}

int32_t TransferFile::ReadTime() {
  if (handle == -1) return TransferCode::FileNotOpen;
  struct stat info {};
  if (::fstat(static_cast<int>(handle), &info) != 0) return TransferCode::Ok;
  const int64_t stamp = static_cast<int64_t>(info.st_mtime);
  const int64_t days = FloorDiv(stamp, 86400);
  const int32_t rest = static_cast<int32_t>(stamp - days * 86400);
  SetFromJulianDay(static_cast<int32_t>(days + kEpochDay));
  hour = rest / 3600;
  minute = rest % 3600 / 60;
  second = rest % 60;
  return TransferCode::Ok;
}

int32_t TransferFile::Size() {
  if (handle == -1) return TransferCode::FileNotOpen;
  if (sizeCache == -1) {
    struct stat info {};
    if (::fstat(static_cast<int>(handle), &info) != 0) return sizeCache;
    // The engines count in 32 bits; a larger file reports the most they can express.
    sizeCache = info.st_size > INT32_MAX ? INT32_MAX : static_cast<int32_t>(info.st_size);
  }
  return sizeCache;
}

int32_t TransferFile::WriteBlock(const uint8_t* data, int32_t count) {
  if (handle == -1 || data == nullptr || count <= 0) return 0;
  int32_t done = 0;
  while (done < count) {
    const ssize_t moved = ::write(static_cast<int>(handle), data + done,
                                  static_cast<size_t>(count - done));
    if (moved < 0 && errno == EINTR) continue;
    if (moved <= 0) break;
    done += static_cast<int32_t>(moved);
  }
  return done;
}

int32_t TransferFile::ReadBlock(uint8_t* data, int32_t count) {
  if (handle == -1 || data == nullptr || count <= 0) return 0;
  int32_t done = 0;
  while (done < count) {
    const ssize_t moved = ::read(static_cast<int>(handle), data + done,
                                 static_cast<size_t>(count - done));
    if (moved < 0 && errno == EINTR) continue;
    if (moved <= 0) break;
    done += static_cast<int32_t>(moved);
  }
  return done;
}

int32_t TransferFile::WriteChar(uint8_t byte) { return WriteBlock(&byte, 1); }

int32_t TransferFile::ReadChar(uint8_t* byte) { return ReadBlock(byte, 1); }

int32_t TransferFile::Flush() {
  if (handle == -1) return 0;
  return ::fsync(static_cast<int>(handle)) == 0 ? 1 : 0;
}

bool TransferFile::Exists(const char* path) {
  struct stat info {};
  return path != nullptr && ::stat(path, &info) == 0 && S_ISREG(info.st_mode);
}
