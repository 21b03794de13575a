// POSIX half of TransferFile: the open file is a descriptor (close-on-exec, no user-space
// buffering), stamped and read with futimens/fstat in UTC.
#include "transfer/TransferFile.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "transfer/TransferCodes.h"

namespace {
constexpr int32_t kEpochDay = 2440588;  // Julian day number of 1970-01-01

// Floor division, so that times before 1970 land on the right day.
int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// The folder part of path, "." when it has none; false when it does not fit.
bool FolderPart(const char* path, char (&folder)[PATH_MAX]) {
  const char* slash = std::strrchr(path, '/');
  const size_t length = slash == nullptr ? 0 : slash == path ? 1 : static_cast<size_t>(slash - path);
  if (length >= sizeof folder) return false;
  std::memcpy(folder, path, length);
  folder[length] = '\0';
  if (length == 0) std::strcpy(folder, ".");
  return true;
}

// Whether the symbolic link at path leads to a place inside (or below) the folder that holds
// it. A dangling link does not: writing through it would create its target wherever it points.
bool LinkStaysInFolder(const char* path) {
  char folder[PATH_MAX], target[PATH_MAX], home[PATH_MAX];
  if (!FolderPart(path, folder)) return false;
  if (::realpath(path, target) == nullptr || ::realpath(folder, home) == nullptr) return false;
  const size_t n = std::strlen(home);
  return std::strncmp(target, home, n) == 0 && (target[n] == '/' || (n == 1 && home[0] == '/'));
}

#ifdef O_PATH
constexpr int kFolderAccess = O_PATH;  // names files in it; search permission is enough
#else
constexpr int kFolderAccess = O_RDONLY;
#endif

int OpenFolder(int at, const char* folder, int follow) {
  const int fd = ::openat(at, folder, kFolderAccess | O_DIRECTORY | O_CLOEXEC | follow);
  // With O_PATH, O_NOFOLLOW opens a link itself instead of failing: only a folder is kept.
  struct stat info {};
  if (fd >= 0 && (::fstat(fd, &info) != 0 || !S_ISDIR(info.st_mode))) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Opens the folder that holds the last part of path and points last at that part; -1 when the
// folder cannot be reached. A confined relative name goes down from the working folder one
// part at a time, each opened below the one before and never through a symbolic link, not even
// one that leads back inside: a name from a sender cannot leave the receiving folder through a
// link planted there, and no part can be swapped for a link between the check and the use.
// ".." parts are taken as they stand (a sender's name never has one). Any other name is the
// user's own: its folder is opened as named, links and all.
int OpenFolderOf(const char* path, bool confined, const char*& last) {
  const char* slash = std::strrchr(path, '/');
  last = slash != nullptr ? slash + 1 : path;
  if (!confined || path[0] == '/') {
    char folder[PATH_MAX];
    return FolderPart(path, folder) ? OpenFolder(AT_FDCWD, folder, 0) : -1;
  }
  int fd = OpenFolder(AT_FDCWD, ".", 0);
  for (const char* part = path; fd >= 0 && part != last;) {
    const char* end = std::strchr(part, '/');
    const size_t length = static_cast<size_t>(end - part);
    char entry[NAME_MAX + 1];
    if (length >= sizeof entry) {
      ::close(fd);
      return -1;
    }
    if (length > 0 && !(length == 1 && part[0] == '.')) {
      std::memcpy(entry, part, length);
      entry[length] = '\0';
      const int next = OpenFolder(fd, entry, O_NOFOLLOW);
      ::close(fd);
      fd = next;
    }
    part = end + 1;
  }
  return fd;
}

void CloseFolder(intptr_t& folder) {
  if (folder != -1) ::close(static_cast<int>(folder));
  folder = -1;
}
}  // namespace

int32_t TransferFile::Open(const char* path, const char* mode) {
  if (handle != -1) return TransferCode::FileAlreadyOpen;
  if (path == nullptr || mode == nullptr) return TransferCode::FileOpenFailed;
  int flags;
  bool writing = true;
  if (std::strchr(mode, 'a') != nullptr) {
    flags = O_RDWR | O_CREAT;
  } else if (std::strchr(mode, 'w') != nullptr) {
    flags = std::strchr(mode, 'r') != nullptr ? O_RDWR | O_CREAT : O_WRONLY | O_CREAT | O_TRUNC;
  } else if (std::strchr(mode, 'r') != nullptr) {
    flags = O_RDONLY | O_CREAT;  // a missing file is created empty, as the engines expect
    writing = false;
  } else {
    flags = O_WRONLY | O_CREAT;
  }
  const char* last = nullptr;
  const int at = OpenFolderOf(path, writing, last);
  if (at < 0) return TransferCode::FileOpenFailed;
  openFolder = at;
  // Anything but a regular file is refused before it is opened: opening a FIFO blocks until
  // a peer appears, and a device would take the data.
  struct stat found {}, link {};
  const bool exists = ::fstatat(at, last, &found, 0) == 0;
  const bool isLink = ::fstatat(at, last, &link, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(link.st_mode);
  if ((exists && !S_ISREG(found.st_mode)) || (writing && isLink && !LinkStaysInFolder(path))) {
    CloseFolder(openFolder);
    return TransferCode::FileOpenFailed;
  }
  int fd;
  if ((flags & O_TRUNC) != 0 && exists) {
    fd = static_cast<int>(OpenBeside(last, found.st_mode));
  } else {
    // What was no link when looked at is not followed if it has become one since.
    do {
      fd = ::openat(at, last, flags | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | (isLink ? 0 : O_NOFOLLOW), 0666);
    } while (fd < 0 && errno == EINTR);
    // Checked again on what was opened, since the name may have changed meaning meanwhile.
    struct stat opened {};
    if (fd >= 0 && (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode))) {
      ::close(fd);
      fd = -1;
    }
    if (fd >= 0) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  }
  if (fd >= 0 && std::strcmp(mode, "ab") == 0 && ::lseek(fd, 0, SEEK_END) < 0) {
    ::close(fd);
    if (newPath[0] != '\0') ::unlinkat(at, newPath, 0);
    fd = -1;
  }
  if (fd < 0) {
    newPath[0] = replacedPath[0] = '\0';
    CloseFolder(openFolder);
    return TransferCode::FileOpenFailed;
  }
  handle = fd;
  return TransferCode::Ok;
}

intptr_t TransferFile::OpenBeside(const char* path, uint32_t mode) {
  // A short name in the same folder, so the final rename stays within one file system and
  // even a name near the length limit has room beside it.
  if (std::strlen(path) >= sizeof replacedPath) return -1;
  static std::atomic<uint32_t> made{0};
  int fd = -1;
  for (int32_t attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    const uint32_t mix = static_cast<uint32_t>(::getpid()) * 2654435761u ^
                         static_cast<uint32_t>(std::time(nullptr)) ^ (++made * 40503u);
    std::snprintf(newPath, sizeof newPath, ".zandrel-%08x", mix);
    fd = ::openat(static_cast<int>(openFolder), newPath, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    newPath[0] = '\0';
    return -1;
  }
  ::fchmod(fd, static_cast<mode_t>(mode & 07777));  // the new file keeps the old one's permissions
  std::strcpy(replacedPath, path);
  return fd;
}

int32_t TransferFile::Close() {
  if (handle == -1) return TransferCode::FileNotOpen;
  const int fd = static_cast<int>(handle);
  handle = -1;
  // Even when close reports an error the descriptor is gone; retrying could close another.
  bool done = ::close(fd) == 0;
  if (newPath[0] != '\0') {
    // One rename: a reader sees the old file or the new one, never a mix.
    const int at = static_cast<int>(openFolder);
    done = done && ::renameat(at, newPath, at, replacedPath) == 0;
    if (!done) ::unlinkat(at, newPath, 0);
    newPath[0] = replacedPath[0] = '\0';
  }
  CloseFolder(openFolder);
  return done ? TransferCode::Ok : TransferCode::FileCloseFailed;
}

int32_t TransferFile::Discard() {
  if (handle == -1) return TransferCode::FileNotOpen;
  ::close(static_cast<int>(handle));
  handle = -1;
  if (newPath[0] != '\0') ::unlinkat(static_cast<int>(openFolder), newPath, 0);
  newPath[0] = replacedPath[0] = '\0';
  CloseFolder(openFolder);
  return TransferCode::Ok;
}

int32_t TransferFile::Seek(int64_t offset, int32_t origin) {
  if (handle == -1) return TransferCode::FileNotOpen;
  static const int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
  if (origin < 0 || origin > 2) return TransferCode::FileSeekFailed;
  return ::lseek(static_cast<int>(handle), static_cast<off_t>(offset), kWhence[origin]) < 0
             ? TransferCode::FileSeekFailed
             : TransferCode::Ok;
}

int64_t TransferFile::Tell() {
  if (handle == -1) return TransferCode::FileNotOpen;
  const off_t position = ::lseek(static_cast<int>(handle), 0, SEEK_CUR);
  return position < 0 ? TransferCode::FileTellFailed : static_cast<int64_t>(position);
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

int64_t TransferFile::Size() {
  if (handle == -1) return TransferCode::FileNotOpen;
  if (sizeCache == -1) {
    struct stat info {};
    if (::fstat(static_cast<int>(handle), &info) != 0) return sizeCache;
    sizeCache = static_cast<int64_t>(info.st_size);
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
  const char* last = nullptr;
  const int at = path != nullptr ? OpenFolderOf(path, true, last) : -1;
  if (at < 0) return false;
  struct stat info {};
  const bool found = ::fstatat(at, last, &info, 0) == 0 && S_ISREG(info.st_mode);
  ::close(at);
  return found;
}
