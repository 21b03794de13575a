// File access as the engines see it: one open file at a time, its date and time as calendar
// fields (seconds since 1970 on the wire), and the walk of a ";"-separated list of file
// specifications. TransferFile implements the platform half; this class keeps the calendar.
#pragma once
#include <cstdint>

class TransferFileBase {
 public:
  static constexpr int kNameRoom = 516;

  TransferFileBase() = default;
  virtual ~TransferFileBase() = default;
  TransferFileBase(const TransferFileBase&) = delete;
  TransferFileBase& operator=(const TransferFileBase&) = delete;

  // Starts a walk of fileList (consumed in place: it must stay writable for the run; null keeps
  // the list given before). 0, or -956 when the walk state cannot be allocated.
  virtual int32_t BeginList(char* fileList, int32_t recurse) = 0;
  // mode: "a" read/write open-or-create ("ab" appends), "w" create-or-truncate ("wr": open or
  // create read/write), "r" read-only open-or-create. Only a regular file (or a new one) is
  // opened: a folder, a FIFO or a device is refused, and so, for writing, is a symbolic link
  // that leads out of its folder. A relative name written is reached from the working folder
  // through real folders only: one of its folder parts that is a link or junction is refused,
  // even one that leads back inside, so a sender's name cannot leave the receiving folder
  // through a link planted there (an absolute name is the user's own and taken as it stands).
  // Missing folders are not created. "w" on an existing file writes a new file beside it, which
  // takes the old one's place at Close; until then (and for good after Discard) the old file
  // stays as it was. 0, -950 (already open), -951.
  virtual int32_t Open(const char* path, const char* mode) = 0;
  // Done with the file: a replacement takes the old file's place. 0, -952 (the close or the
  // replacement failed: the old file stays), -953.
  virtual int32_t Close() = 0;
  // Closes a file that did not arrive whole: a replacement is thrown away and the old file
  // stays untouched; any other file keeps what was written, so it can be resumed. 0, -953.
  virtual int32_t Discard() = 0;
  virtual int32_t Seek(int64_t offset, int32_t origin) = 0;    // origin 0/1/2; 0, -953, -954
  virtual int64_t Tell() = 0;                                  // position, -953, -955
  // Flushes, then stamps the last-write time from the fields (UTC, two-second resolution).
  virtual int32_t ApplyTime() = 0;                             // 0, -953
  virtual int32_t ReadTime() = 0;                              // 0, -953
  virtual int64_t Size() = 0;                                  // size (cached), -953
  // 1: CurrentName() holds the next file; 0: the list is exhausted. wildcards 0 hands the next
  // specification out as it stands.
  virtual int32_t NextFile(int32_t wildcards) = 0;
  virtual int32_t WriteBlock(const uint8_t* data, int32_t count) = 0;  // bytes written
  virtual int32_t ReadBlock(uint8_t* data, int32_t count) = 0;         // bytes read
  virtual int32_t WriteChar(uint8_t byte) = 0;                         // 1 or 0
  virtual int32_t ReadChar(uint8_t* byte) = 0;                         // 1 or 0
  // Flushes the file's buffers to disk: 1 done, 0 refused or no file open.
  virtual int32_t Flush() = 0;
  // Whether a file (not a directory) of that name exists, found the way Open finds a name it
  // writes: the receivers' check before they refuse to overwrite.
  virtual bool Exists(const char* path) = 0;

  void ResetSize() { sizeCache = -1; }
  const char* CurrentName() const { return name; }
  // Seconds since 1970-01-01 00:00:00 UTC, unsigned so that stamps run past 2038 (to 2106).
  void SetFromSeconds(uint32_t seconds);
  void SetFromJulianDay(int32_t dayNumber);
  uint32_t ToSeconds() const;  // 0 for a date before 1970
  int32_t JulianDay() const;
  // The Julian day number of a Gregorian date (what JulianDay computes from the fields).
  static int32_t JulianDayOf(int32_t y, int32_t mo, int32_t d);
  void SetDateTime(int32_t y, int32_t mo, int32_t d, int32_t h, int32_t mi, int32_t s);
  void GetDateTime(int32_t& y, int32_t& mo, int32_t& d, int32_t& h, int32_t& mi, int32_t& s) const;

 protected:
  int32_t year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0;
  int64_t sizeCache = -1;
  char* fileList = nullptr;
  char name[kNameRoom] = {};
};

// A new platform TransferFile (nullptr when out of memory); the engines' Prepare uses it.
TransferFileBase* CreateTransferFile();
