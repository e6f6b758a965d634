// The Content-Range header of a partial response, as a server that
// continues a download sends it.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace ostrel {

// The first and last byte positions a range covers, both included.
struct ByteRange {
  std::uint64_t first = 0;
  std::uint64_t last = 0;
};

// The range of a value "bytes FIRST-LAST/LENGTH", LENGTH a number or "*":
// plain decimal digits, no blanks but the one after "bytes", FIRST not past
// LAST, and LAST before a LENGTH that is given. Anything else, including an
// unsatisfied range ("bytes */LENGTH") and a number above 2^64 - 1, is no
// range.
std::optional<ByteRange> ParseContentRange(std::u16string_view value);

}  // namespace ostrel
