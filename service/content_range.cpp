#include "service/content_range.h"

#include "service/header_value.h"

namespace ostrel {

std::optional<ByteRange> ParseContentRange(std::u16string_view value) {
  if (!TakeText(value, u"bytes ")) return std::nullopt;
  const std::optional<std::uint64_t> first = TakeNumber(value);
  if (!first || !TakeText(value, u"-")) return std::nullopt;
  const std::optional<std::uint64_t> last = TakeNumber(value);
  if (!last || *first > *last || !TakeText(value, u"/")) return std::nullopt;
  if (value == u"*") return ByteRange{*first, *last};
  const std::optional<std::uint64_t> length = TakeNumber(value);
  if (!length || !value.empty() || *last >= *length) return std::nullopt;
  return ByteRange{*first, *last};
}

}  // namespace ostrel
