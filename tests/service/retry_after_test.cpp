#include "service/retry_after.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace ostrel {
namespace {

// 2026-12-11 12:00:00 UTC.
constexpr std::int64_t Noon = 1'796'990'400;

TEST(RetryAfterTest, TakesSecondsOrAnHttpDateAndWaitsAtMostAnHour) {
  const struct {
    std::u16string_view value;
    std::optional<std::uint64_t> milliseconds;
  } cases[] = {
      {u"120", 120'000},
      {u"0", 0},
      {u"3600", 3'600'000},
      {u"3601", 3'600'000},
      {u"86400", 3'600'000},
      {u"18446744073709551615", 3'600'000},
      {u"Fri, 11 Dec 2026 12:10:00 GMT", 600'000},
      {u"Fri, 11 Dec 2026 12:00:01 GMT", 1'000},
      {u"Fri, 11 Dec 2026 12:00:00 GMT", 0},      // now
      {u"Fri, 11 Dec 2026 11:00:00 GMT", 0},      // past
      {u"Sat, 12 Dec 2026 12:00:00 GMT", 3'600'000},
      {u"Fri, 01 Jan 2027 00:00:00 GMT", 3'600'000},
      {u"Tue, 29 Feb 2028 11:59:59 GMT", 3'600'000},     // a leap day
      {u"Mon, 29 Feb 2027 12:00:00 GMT", std::nullopt},  // none in 2027
      {u"Fri, 31 Nov 2026 12:00:00 GMT", std::nullopt},
      {u"Fri, 11 Dec 2026 24:00:00 GMT", std::nullopt},
      {u"Fri, 11 Dec 2026 12:60:00 GMT", std::nullopt},
      {u"Fri, 11 Dec 2026 12:10:00 UTC", std::nullopt},
      {u"Fri, 11 Dec 2026 12:10:00 GMT ", std::nullopt},
      {u"Friday, 11-Dec-26 12:10:00 GMT", std::nullopt},
      {u"Fri, 1 Dec 2026 12:10:00 GMT", std::nullopt},
      {u"", std::nullopt},
      {u"-1", std::nullopt},
      {u"1.5", std::nullopt},
      {u" 120", std::nullopt},
      {u"120 ", std::nullopt},
      {u"soon", std::nullopt},
      {u"18446744073709551616", std::nullopt},  // beyond 64 bits
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(std::string(row.value.begin(), row.value.end()));
    EXPECT_EQ(RetryAfterMilliseconds(row.value, Noon), row.milliseconds);
  }
}

// The calendar's irregular days counted right, near each.
TEST(RetryAfterTest, CountsDatesAcrossLeapDaysAndCenturies) {
  EXPECT_EQ(RetryAfterMilliseconds(u"Tue, 29 Feb 2028 12:00:10 GMT", 1'835'438'400), 10'000u);
  EXPECT_EQ(RetryAfterMilliseconds(u"Wed, 01 Mar 2000 00:01:00 GMT", 951'868'800), 60'000u);
}

}  // namespace
}  // namespace ostrel
