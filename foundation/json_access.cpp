#include "foundation/json_access.h"

#include <optional>

#include <nlohmann/json.hpp>

#include "foundation/failure.h"
#include "foundation/json_text_reader.h"
#include "foundation/text_conversion.h"

namespace ostrel {
namespace {

// The codes the platform's JSON classes fail with; callers never inspect them.
constexpr os::HResult WebEInvalidJsonString = static_cast<os::HResult>(0x83750007);
constexpr os::HResult WebEJsonValueNotFound = static_cast<os::HResult>(0x83750009);
constexpr os::HResult EIllegalMethodCall = static_cast<os::HResult>(0x8000000E);

}  // namespace

JsonValue::JsonValue(nlohmann::ordered_json json) : json_(std::make_unique<nlohmann::ordered_json>(std::move(json))) {}

JsonValue::JsonValue(const JsonValue& other) : JsonValue(other.Json()) {}

JsonValue::JsonValue(JsonValue&& other) noexcept = default;

JsonValue& JsonValue::operator=(const JsonValue& other) {
  json_ = std::make_unique<nlohmann::ordered_json>(other.Json());
  return *this;
}

JsonValue& JsonValue::operator=(JsonValue&& other) noexcept = default;

JsonValue::~JsonValue() = default;

nlohmann::ordered_json& JsonValue::Json() { return *json_; }

const nlohmann::ordered_json& JsonValue::Json() const { return *json_; }

JsonValue JsonValue::CreateBooleanValue(bool value) { return JsonValue(value); }

JsonValue JsonValue::CreateStringValue(std::u16string_view value) { return JsonValue(ToUtf8(value)); }

JsonValue JsonValue::CreateNumberValue(double value) { return JsonValue(value); }

JsonArray::JsonArray() : JsonValue(nlohmann::ordered_json::array()) {}

void JsonArray::Append(const JsonValue& value) { Json().push_back(value.Json()); }

JsonObject::JsonObject() : JsonValue(nlohmann::ordered_json::object()) {}

JsonObject::JsonObject(nlohmann::ordered_json json) : JsonValue(std::move(json)) {}

JsonObject JsonObject::Parse(std::u16string_view text) {
  std::optional<nlohmann::ordered_json> json = ReadJsonText(text);
  if (!json || !json->is_object()) throw hresult_error(WebEInvalidJsonString);
  return JsonObject(std::move(*json));
}

std::uint32_t JsonObject::Size() const { return static_cast<std::uint32_t>(Json().size()); }

bool JsonObject::HasKey(std::u16string_view name) const { return Json().contains(ToUtf8(name)); }

const nlohmann::ordered_json& JsonObject::Member(std::u16string_view name) const {
  auto member = Json().find(ToUtf8(name));
  if (member == Json().end()) throw hresult_error(WebEJsonValueNotFound);
  return *member;
}

std::u16string JsonObject::GetNamedString(std::u16string_view name) const {
  const auto& member = Member(name);
  if (!member.is_string()) throw hresult_error(EIllegalMethodCall);
  return ToUtf16(member.get_ref<const std::string&>());
}

std::u16string JsonObject::GetNamedString(std::u16string_view name, std::u16string_view defaultValue) const {
  if (!HasKey(name)) return std::u16string(defaultValue);
  return GetNamedString(name);
}

double JsonObject::GetNamedNumber(std::u16string_view name) const {
  const auto& member = Member(name);
  if (!member.is_number()) throw hresult_error(EIllegalMethodCall);
  return member.get<double>();
}

void JsonObject::SetNamedValue(std::u16string_view name, const JsonValue& value) {
  Json()[ToUtf8(name)] = value.Json();
}

std::u16string JsonObject::Stringify() const { return ToUtf16(Json().dump()); }

}  // namespace ostrel
