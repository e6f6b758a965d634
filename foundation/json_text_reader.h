// Reading one JSON text into the object model's values, strictly: a document
// that a signature covers must mean one thing to every reader, so nothing a
// lenient reader would skip, merge or stop at is accepted. The library's own
// parser stops at a zero byte, keeps the last of two equal names and fails
// on a number too large for a double, so the text is read here and only the
// values are the library's.
#pragma once

#include <optional>
#include <string_view>

#include <nlohmann/json.hpp>

namespace ostrel {

// Objects and arrays nest at most this deep, the outermost counting as 1: far
// above anything the updater writes, and low enough that copying or
// serialising a value, which recurses once per level, cannot exhaust the stack.
inline constexpr int MaxJsonNesting = 64;

// The value of the text when the whole text, every unit of it, is one JSON
// text (RFC 8259), else nothing. Nothing ends it early and nothing is skipped:
// a zero unit, a leading byte-order mark or anything after the value makes
// it no JSON text. Beyond RFC 8259 it refuses a member name given twice in
// one object and nesting deeper than MaxJsonNesting. A number beyond a
// double's range reads as infinity, which the caller's own range check then
// refuses.
std::optional<nlohmann::ordered_json> ReadJsonText(std::u16string_view text);

}  // namespace ostrel
