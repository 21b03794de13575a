// Calendar arithmetic of the file object: seconds since 1970 to and from calendar fields
// through Julian day numbers, in plain integer arithmetic so every platform agrees.
#include "transfer/TransferFileBase.h"

namespace {
// Julian day number of 1970-01-01.
constexpr int32_t kEpochDay = 2440588;
constexpr uint32_t kSecondsPerDay = 86400;
}  // namespace

void TransferFileBase::SetFromSeconds(uint32_t seconds) {
  SetFromJulianDay(static_cast<int32_t>(seconds / kSecondsPerDay) + kEpochDay);
  const int32_t rest = static_cast<int32_t>(seconds % kSecondsPerDay);
  hour = rest / 3600;
  minute = (rest - 3600 * hour) / 60;
  second = rest - 3600 * hour - 60 * minute;
}

// Fliegel and Van Flandern: valid for every day number the 32-bit seconds can reach;
// the divisions truncate, as the method requires.
void TransferFileBase::SetFromJulianDay(int32_t dayNumber) {
  int32_t l = dayNumber + 68569;
  const int32_t n = 4 * l / 146097;
  l = l - (146097 * n + 3) / 4;
  const int32_t i = 4000 * (l + 1) / 1461001;
  l = l - 1461 * i / 4 + 31;
  const int32_t j = 80 * l / 2447;
  day = l - 2447 * j / 80;
  l = j / 11;
  month = j + 2 - 12 * l;
  year = 100 * (n - 49) + i + l;
}

int32_t TransferFileBase::JulianDayOf(int32_t y, int32_t mo, int32_t d) {
  const int32_t a = (mo - 14) / 12;
  return d - 32075 + 1461 * (y + 4800 + a) / 4 + 367 * (mo - 2 - 12 * a) / 12 -
         3 * ((y + 4900 + a) / 100) / 4;
}

int32_t TransferFileBase::JulianDay() const { return JulianDayOf(year, month, day); }

uint32_t TransferFileBase::ToSeconds() const {
  const int32_t days = JulianDay() - kEpochDay;
  if (days < 0) return 0;
  // Unsigned so that dates up to 2106 survive; later ones wrap like the wire field would.
  return ((static_cast<uint32_t>(days) * 24u + static_cast<uint32_t>(hour)) * 60u +
          static_cast<uint32_t>(minute)) * 60u + static_cast<uint32_t>(second);
}

void TransferFileBase::SetDateTime(int32_t y, int32_t mo, int32_t d, int32_t h, int32_t mi,
                                   int32_t s) {
  year = y;
  month = mo;
  day = d;
  hour = h;
  minute = mi;
  second = s;
}

void TransferFileBase::GetDateTime(int32_t& y, int32_t& mo, int32_t& d, int32_t& h, int32_t& mi,
                                   int32_t& s) const {
  y = year;
  mo = month;
  d = day;
  h = hour;
  mi = minute;
  s = second;
}
