#include "service/content_range.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>

namespace ostrel {
namespace {

TEST(ContentRangeTest, ReadsOnlyACompleteSatisfiedRange) {
  const struct {
    std::u16string_view value;
    std::optional<std::pair<std::uint64_t, std::uint64_t>> range;
  } cases[] = {
      {u"bytes 0-99/100", std::pair{0, 99}},
      {u"bytes 70000-199999/200000", std::pair{70000, 199999}},
      {u"bytes 5-5/6", std::pair{5, 5}},
      {u"bytes 70000-199999/*", std::pair{70000, 199999}},
      {u"bytes 0-18446744073709551614/18446744073709551615", std::pair{0, 18446744073709551614u}},
      {u"bytes 0-18446744073709551616/*", std::nullopt},  // beyond 64 bits
      {u"bytes */200000", std::nullopt},                  // unsatisfied
      {u"bytes 100-99/200", std::nullopt},                // first past last
      {u"bytes 0-100/100", std::nullopt},                 // last past the length
      {u"bytes 0-99/", std::nullopt},
      {u"bytes 0-99", std::nullopt},
      {u"bytes -99/100", std::nullopt},
      {u"bytes 0-/100", std::nullopt},
      {u"bytes 0-99/100 ", std::nullopt},
      {u"bytes  0-99/100", std::nullopt},
      {u"Bytes 0-99/100", std::nullopt},
      {u"bytes=0-99/100", std::nullopt},
      {u"bytes +0-99/100", std::nullopt},
      {u"bytes 0x10-99/100", std::nullopt},
      {u"", std::nullopt},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(std::string(row.value.begin(), row.value.end()));
    const std::optional<ByteRange> range = ParseContentRange(row.value);
    ASSERT_EQ(range.has_value(), row.range.has_value());
    if (range) {
      EXPECT_EQ(range->first, row.range->first);
      EXPECT_EQ(range->last, row.range->second);
    }
  }
}

}  // namespace
}  // namespace ostrel
