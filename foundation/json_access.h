// The JSON object model every document of the updater passes through:
// objects, arrays and values with UTF-16 names and strings, and exactly the
// operations the system uses. Every failing operation raises hresult_error,
// which handlers of standard failures let pass.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include <nlohmann/json_fwd.hpp>

namespace ostrel {

// A JSON value owned by its holder; copying a value copies its content.
class JsonValue {
 public:
  static JsonValue CreateBooleanValue(bool value);
  static JsonValue CreateStringValue(std::u16string_view value);
  static JsonValue CreateNumberValue(double value);

  JsonValue(const JsonValue& other);
  JsonValue(JsonValue&& other) noexcept;
  JsonValue& operator=(const JsonValue& other);
  JsonValue& operator=(JsonValue&& other) noexcept;
  ~JsonValue();

 private:
  friend class JsonArray;
  friend class JsonObject;

  explicit JsonValue(nlohmann::ordered_json json);
  nlohmann::ordered_json& Json();
  const nlohmann::ordered_json& Json() const;

  std::unique_ptr<nlohmann::ordered_json> json_;
};

class JsonArray : public JsonValue {
 public:
  JsonArray();
  void Append(const JsonValue& value);
};

// An object keeps its members in the order they were set, and serialises
// them in that order. Names match exactly, unit by unit, case-sensitively.
class JsonObject : public JsonValue {
 public:
  JsonObject();

  // The object that the text holds; fails unless the whole text is one JSON
  // text whose value is an object, read as strictly as ReadJsonText reads:
  // no trailing content, no byte-order mark, no member name twice in one
  // object, no nesting deeper than MaxJsonNesting.
  static JsonObject Parse(std::u16string_view text);

  std::uint32_t Size() const;
  bool HasKey(std::u16string_view name) const;
  // Fails when the member is missing or not a string.
  std::u16string GetNamedString(std::u16string_view name) const;
  // The default when no member has that name; fails when it is not a string.
  std::u16string GetNamedString(std::u16string_view name, std::u16string_view defaultValue) const;
  // Fails when the member is missing or not a number.
  double GetNamedNumber(std::u16string_view name) const;
  // Adds the member, or replaces the value of the member of that name.
  void SetNamedValue(std::u16string_view name, const JsonValue& value);
  // The JSON text of the object, compact.
  std::u16string Stringify() const;

 private:
  explicit JsonObject(nlohmann::ordered_json json);
  const nlohmann::ordered_json& Member(std::u16string_view name) const;
};

}  // namespace ostrel
