// What every batch receiver decides about a file its sender announces, the same for ZModem and
// YModem: whether the sender's name may be used at all, the length and time that follow it, and
// what an existing file of that name becomes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class ReceiveRules {
 public:
  // What happens to a file that already exists.
  enum class Existing { Replace, Append, Skip, Refuse };

  // A name as a sender put it on the wire, as the product's text: well-formed UTF-8 is taken as
  // it is; anything else is an older sender's own code page, which on Windows is taken to be the
  // ANSI code page (ReceiveRulesWin32.cpp) and on POSIX passes as the bytes it is, as file names
  // there are. So no name is refused for its encoding, and a malformed spelling of "/", "\\" or
  // "." never decodes to one. Only the result may go on to NameIsSafe and the file layer.
  static std::string NameFromWire(std::string_view wire);
  // Whether a name from a sender stays inside the receiving folder and names a plain file there:
  // not absolute, no drive or stream (":"), no UNC or device path, no "..", no part of dots and
  // blanks alone (Windows trims those to nothing or to ".."), no device name, no control
  // character, C1 included (which would also reach a terminal that shows it), no part longer
  // than a folder entry holds.
  static bool NameIsSafe(const char* name);
  // Characters this platform's file names cannot hold ("<>\"|?*" on Windows, where a code page
  // fallback can also give '?'): a name with one is skipped like an unsafe one, where its open
  // would fail and end the batch. Names on POSIX hold them.
  static const char kForbidden[];
  // Whether one part of a name (between separators) is a device on Windows: CON, PRN, AUX, NUL,
  // COM0..9, LPT0..9 (the superscript 1, 2 and 3 too) and the console names, in any case, with
  // any extension or trailing spaces. Refused on every platform, so a batch is received alike
  // everywhere.
  static bool NamesDevice(const char* part, size_t length);
  // What the host is shown of a name that is never opened, into out (kShownBytes + 4 bytes at
  // least): the part that would have been used (namePart: after the last separator; the whole
  // name when that part is empty), its first kShownBytes bytes and "..." when it is longer,
  // control characters (C1 too) as '?'. The log and the console then say which file was left
  // out, and nothing a sender chose can drive the user's terminal.
  static constexpr size_t kShownBytes = 64;
  static void ShowRefusedName(const char* name, size_t length, bool namePart, char* out);
  // "%ld %lo" (the length in decimal, then the time in octal) done by hand, so that an over-long
  // number from a hostile sender saturates instead of reaching the C library's undefined
  // overflow. The count of values read (0..2); a value not read leaves its field alone.
  static int32_t ParseSizeAndTime(const char* text, int64_t& size, int64_t& time);
  // The existing-file rule `management` (the Overwrite numbering, 1..7) for an existing file of
  // size and time (seconds since 1970) against the announced length and time (-1 when unknown).
  // Rule 2 compares contents, which only a protocol that can ask the sender for its CRC does: it
  // is not decided here and gives Replace. Any value outside 1..6 refuses.
  static Existing Decide(int32_t management, int64_t size, int64_t time, int64_t length, int64_t announcedTime);
};
