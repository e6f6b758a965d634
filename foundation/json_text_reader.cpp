#include "foundation/json_text_reader.h"

#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <system_error>
#include <utility>

#include "foundation/text_conversion.h"

namespace ostrel {
namespace {

// Raised at the first unit that breaks the grammar; it never leaves
// ReadJsonText.
struct NotJsonText {};

bool IsWhiteSpace(char16_t unit) { return unit == u' ' || unit == u'\t' || unit == u'\n' || unit == u'\r'; }
bool IsDigit(char16_t unit) { return unit >= u'0' && unit <= u'9'; }

int HexDigit(char16_t unit) {
  if (IsDigit(unit)) return unit - u'0';
  if (unit >= u'a' && unit <= u'f') return unit - u'a' + 10;
  if (unit >= u'A' && unit <= u'F') return unit - u'A' + 10;
  throw NotJsonText();
}

// A recursive descent over RFC 8259's grammar, one function per rule. Names
// and strings are kept as UTF-8, as the object model holds them.
class JsonTextReader {
 public:
  explicit JsonTextReader(std::u16string_view text) : rest_(text) {}

  nlohmann::ordered_json ReadText() {
    nlohmann::ordered_json value = ReadValue(0);
    SkipWhiteSpace();
    if (!rest_.empty()) throw NotJsonText();
    return value;
  }

 private:
  // depth: the number of objects and arrays around the value.
  nlohmann::ordered_json ReadValue(int depth) {
    SkipWhiteSpace();
    switch (Peek()) {
      case u'{':
        return ReadObject(depth + 1);
      case u'[':
        return ReadArray(depth + 1);
      case u'"':
        return ToUtf8(ReadString());
      case u't':
        ExpectWord(u"true");
        return true;
      case u'f':
        ExpectWord(u"false");
        return false;
      case u'n':
        ExpectWord(u"null");
        return nullptr;
      default:
        return ReadNumber();
    }
  }

  nlohmann::ordered_json ReadObject(int depth) {
    if (depth > MaxJsonNesting) throw NotJsonText();
    Expect(u'{');
    auto object = nlohmann::ordered_json::object();
    if (Skip(u'}')) return object;
    do {
      SkipWhiteSpace();
      std::string name = ToUtf8(ReadString());
      Expect(u':');
      if (!object.emplace(std::move(name), ReadValue(depth)).second) throw NotJsonText();
    } while (Skip(u','));
    Expect(u'}');
    return object;
  }

  nlohmann::ordered_json ReadArray(int depth) {
    if (depth > MaxJsonNesting) throw NotJsonText();
    Expect(u'[');
    auto array = nlohmann::ordered_json::array();
    if (Skip(u']')) return array;
    do {
      array.push_back(ReadValue(depth));
    } while (Skip(u','));
    Expect(u']');
    return array;
  }

  // The units between the quotes, escapes decoded. An escaped surrogate
  // without its pair stays unpaired here and becomes U+FFFD in UTF-8, as an
  // unpaired one written as it is does.
  std::u16string ReadString() {
    Expect(u'"');
    std::u16string text;
    for (char16_t unit = Next(); unit != u'"'; unit = Next()) {
      if (unit < 0x20) throw NotJsonText();  // control characters must be escaped
      text += unit == u'\\' ? ReadEscape() : unit;
    }
    return text;
  }

  char16_t ReadEscape() {
    switch (char16_t unit = Next()) {
      case u'"':
      case u'\\':
      case u'/':
        return unit;
      case u'b':
        return u'\b';
      case u'f':
        return u'\f';
      case u'n':
        return u'\n';
      case u'r':
        return u'\r';
      case u't':
        return u'\t';
      case u'u':
        return ReadHexUnit();
      default:
        throw NotJsonText();
    }
  }

  char16_t ReadHexUnit() {
    char16_t value = 0;
    for (int i = 0; i < 4; ++i) value = static_cast<char16_t>(value * 16 + HexDigit(Next()));
    return value;
  }

  // -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?. An integer that fits in
  // 64 bits stays an integer, so that a document read and written again
  // keeps its numbers as they were; any other number is what strtod makes
  // of it, infinity beyond the range of a double.
  nlohmann::ordered_json ReadNumber() {
    std::string number;
    TakeIf(u'-', number);
    if (!TakeIf(u'0', number)) TakeDigits(number);
    bool integral = true;
    if (TakeIf(u'.', number)) {
      integral = false;
      TakeDigits(number);
    }
    if (TakeIf(u'e', number) || TakeIf(u'E', number)) {
      integral = false;
      if (!TakeIf(u'+', number)) TakeIf(u'-', number);
      TakeDigits(number);
    }
    std::int64_t integer = 0;
    if (integral && std::from_chars(number.data(), number.data() + number.size(), integer).ec == std::errc()) {
      return integer;
    }
    return std::strtod(number.c_str(), nullptr);
  }

  // One or more digits.
  void TakeDigits(std::string& number) {
    if (!IsDigit(Peek())) throw NotJsonText();
    while (IsDigit(Peek())) number += static_cast<char>(Next());
  }

  bool TakeIf(char16_t unit, std::string& number) {
    if (Peek() != unit) return false;
    number += static_cast<char>(Next());
    return true;
  }

  void SkipWhiteSpace() {
    while (!rest_.empty() && IsWhiteSpace(rest_.front())) rest_.remove_prefix(1);
  }

  // Skips white space and then the unit, if it comes next.
  bool Skip(char16_t unit) {
    SkipWhiteSpace();
    if (Peek() != unit) return false;
    rest_.remove_prefix(1);
    return true;
  }

  void Expect(char16_t unit) {
    if (!Skip(unit)) throw NotJsonText();
  }

  void ExpectWord(std::u16string_view word) {
    if (!rest_.starts_with(word)) throw NotJsonText();
    rest_.remove_prefix(word.size());
  }

  // The next unit, or zero at the end, which no rule accepts where a unit
  // must follow.
  char16_t Peek() const { return rest_.empty() ? u'\0' : rest_.front(); }

  char16_t Next() {
    if (rest_.empty()) throw NotJsonText();
    char16_t unit = rest_.front();
    rest_.remove_prefix(1);
    return unit;
  }

  std::u16string_view rest_;
};

}  // namespace

std::optional<nlohmann::ordered_json> ReadJsonText(std::u16string_view text) {
  try {
    return JsonTextReader(text).ReadText();
  } catch (const NotJsonText&) {
    return std::nullopt;
  }
}

}  // namespace ostrel
