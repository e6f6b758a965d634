#include "service/retry_after.h"

#include <algorithm>
#include <array>

#include "service/header_value.h"

namespace ostrel {
namespace {

constexpr std::array<std::u16string_view, 7> DayNames = {u"Mon", u"Tue", u"Wed", u"Thu", u"Fri", u"Sat", u"Sun"};
constexpr std::array<std::u16string_view, 12> MonthNames = {u"Jan", u"Feb", u"Mar", u"Apr", u"May", u"Jun",
                                                             u"Jul", u"Aug", u"Sep", u"Oct", u"Nov", u"Dec"};

template <std::size_t Count>
std::optional<std::size_t> TakeName(std::u16string_view& text, const std::array<std::u16string_view, Count>& names) {
  for (std::size_t index = 0; index < Count; ++index) {
    if (TakeText(text, names[index])) return index;
  }
  return std::nullopt;
}

// Days from 1970-01-01 to the date of the proleptic Gregorian calendar.
std::int64_t DaysSinceEpoch(std::int64_t year, std::int64_t month, std::int64_t day) {
  year -= month <= 2;
  const std::int64_t era = year / 400;
  const std::int64_t yearOfEra = year - era * 400;
  const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

bool IsLeapYear(std::uint64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

std::uint64_t DaysInMonth(std::uint64_t year, std::uint64_t month) {
  constexpr std::array<std::uint64_t, 12> days = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

// The seconds since 1970 of the one date form servers send, the fixed
// "Day, DD Mon YYYY HH:MM:SS GMT".
std::optional<std::int64_t> ParseHttpDate(std::u16string_view text) {
  if (!TakeName(text, DayNames) || !TakeText(text, u", ")) return std::nullopt;
  const std::optional<std::uint64_t> day = TakeDigits(text, 2);
  if (!day || !TakeText(text, u" ")) return std::nullopt;
  const std::optional<std::size_t> month = TakeName(text, MonthNames);
  if (!month || !TakeText(text, u" ")) return std::nullopt;
  const std::optional<std::uint64_t> year = TakeDigits(text, 4);
  if (!year || !TakeText(text, u" ")) return std::nullopt;
  const std::optional<std::uint64_t> hour = TakeDigits(text, 2);
  if (!hour || !TakeText(text, u":")) return std::nullopt;
  const std::optional<std::uint64_t> minute = TakeDigits(text, 2);
  if (!minute || !TakeText(text, u":")) return std::nullopt;
  const std::optional<std::uint64_t> second = TakeDigits(text, 2);
  if (!second || text != u" GMT") return std::nullopt;
  if (*day < 1 || *day > DaysInMonth(*year, *month + 1) || *hour > 23 || *minute > 59 || *second > 60) {
    return std::nullopt;
  }
  const std::int64_t days = DaysSinceEpoch(static_cast<std::int64_t>(*year), static_cast<std::int64_t>(*month) + 1,
                                           static_cast<std::int64_t>(*day));
  return days * 86400 + static_cast<std::int64_t>(*hour * 3600 + *minute * 60 + *second);
}

}  // namespace

std::optional<std::uint64_t> RetryAfterMilliseconds(std::u16string_view value, std::int64_t nowUnixSeconds) {
  constexpr std::uint64_t longestSeconds = LongestServerWaitMilliseconds / 1000;
  std::u16string_view seconds = value;
  if (const std::optional<std::uint64_t> number = TakeNumber(seconds); number && seconds.empty()) {
    return std::min(*number, longestSeconds) * 1000;
  }
  const std::optional<std::int64_t> date = ParseHttpDate(value);
  if (!date) return std::nullopt;
  if (*date <= nowUnixSeconds) return 0;
  // Taken in unsigned arithmetic, the difference of a later date holds
  // whatever the clock says.
  const std::uint64_t ahead = static_cast<std::uint64_t>(*date) - static_cast<std::uint64_t>(nowUnixSeconds);
  return std::min(ahead, longestSeconds) * 1000;
}

}  // namespace ostrel
