// Reading the plain ASCII grammar of an HTTP header's value from the front,
// one token at a time: each Take consumes what it matched and only that.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace ostrel {

// The decimal number at the front, at least one digit, refusing one that
// does not fit in 64 bits.
std::optional<std::uint64_t> TakeNumber(std::u16string_view& text);

// The number spelled by exactly `digits` digits at the front.
std::optional<std::uint64_t> TakeDigits(std::u16string_view& text, std::size_t digits);

// Whether the text starts with the expected characters.
bool TakeText(std::u16string_view& text, std::u16string_view expected);

}  // namespace ostrel
