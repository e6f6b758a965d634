#include "foundation/json_access.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <string>

#include "foundation/failure.h"
#include "foundation/json_text_reader.h"

namespace ostrel {
namespace {

using namespace std::string_literals;

// Runs the operation and reports whether it raised hresult_error; any other
// failure escapes and fails the test.
bool RaisesHresultError(const std::function<void()>& operation) {
  try {
    operation();
  } catch (const hresult_error&) {
    return true;
  }
  return false;
}

// Objects nested depth levels deep, the outermost counting as 1.
std::u16string NestedObject(int depth) {
  std::u16string text;
  for (int level = 1; level < depth; ++level) text += u"{\"a\":";
  return text + u"{}" + std::u16string(depth - 1, u'}');
}

struct JsonTextCase {
  const char* name;
  std::u16string text;
};

class JsonParseTest : public testing::TestWithParam<JsonTextCase> {};

TEST_P(JsonParseTest, RefusesAnythingButOneObject) {
  EXPECT_TRUE(RaisesHresultError([] { JsonObject::Parse(GetParam().text); }));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, JsonParseTest,
    testing::Values(JsonTextCase{"Empty", u""}, JsonTextCase{"WhiteSpaceOnly", u" "},
                    JsonTextCase{"EmptyArray", u"[]"}, JsonTextCase{"ArrayOfObject", u"[{}]"},
                    JsonTextCase{"String", u"\"text\""}, JsonTextCase{"Number", u"1"},
                    JsonTextCase{"Null", u"null"}, JsonTextCase{"True", u"true"}, JsonTextCase{"Unclosed", u"{"},
                    JsonTextCase{"TrailingComma", u"{\"a\":1,}"}, JsonTextCase{"TwoObjects", u"{} {}"},
                    JsonTextCase{"TrailingLetter", u"{}x"}, JsonTextCase{"SingleQuotes", u"{'a':1}"},
                    JsonTextCase{"LeadingZero", u"{\"a\":01}"}, JsonTextCase{"NotANumber", u"{\"a\":NaN}"},
                    JsonTextCase{"Comment", u"{/*c*/}"}, JsonTextCase{"UnknownEscape", u"{\"a\":\"\\x\"}"},
                    JsonTextCase{"RawControlCharacter", u"{\"a\":\"\t\"}"},
                    JsonTextCase{"ShortHexEscape", u"{\"a\":\"\\u12\"}"},
                    JsonTextCase{"MisspeltLiteral", u"{\"a\":tru}"}, JsonTextCase{"LoneMinus", u"{\"a\":-}"},
                    JsonTextCase{"NoFractionDigits", u"{\"a\":1.}"},
                    JsonTextCase{"NoExponentDigits", u"{\"a\":1e+}"},
                    // The length given is the text: a zero unit ends nothing.
                    JsonTextCase{"ZeroUnitThenGarbage", u"{}\0{\"version\":\"9.9.9\"}"s},
                    JsonTextCase{"TrailingZeroUnit", u"{}\0"s},
                    JsonTextCase{"ZeroUnitBetweenMembers", u"{\"a\":1\0,\"b\":2}"s},
                    JsonTextCase{"ByteOrderMark", u"\uFEFF{}"},
                    // A reader keeping the first and one keeping the last would read two
                    // documents under one signature.
                    JsonTextCase{"DuplicateName", uR"({"version":"1.0.0","version":"9.9.9"})"},
                    JsonTextCase{"DuplicateNameOfAnotherType", uR"({"a":"1","a":1})"},
                    JsonTextCase{"DuplicateNameNested", uR"({"a":{"b":true,"c":[{"b":1,"b":1}]}})"},
                    JsonTextCase{"OneLevelTooDeep", NestedObject(MaxJsonNesting + 1)},
                    JsonTextCase{"TenThousandLevels", NestedObject(10000)}),
    [](const auto& info) { return info.param.name; });

TEST(JsonObjectTest, AcceptsWhatTheStrictRulesLeave) {
  JsonObject deepest = JsonObject::Parse(NestedObject(MaxJsonNesting));
  EXPECT_EQ(JsonObject(deepest).Stringify(), NestedObject(MaxJsonNesting));
  EXPECT_EQ(JsonObject::Parse(uR"({"a":{"b":1},"b":{"a":1}})").Size(), 2u) << "one name in different objects";
}

TEST(JsonObjectTest, ANumberBeyondADoubleIsInfinite) {
  JsonObject object = JsonObject::Parse(uR"({"large":1e400,"small":-1E+400,"tiny":1e-400})");
  EXPECT_EQ(object.GetNamedNumber(u"large"), std::numeric_limits<double>::infinity());
  EXPECT_EQ(object.GetNamedNumber(u"small"), -std::numeric_limits<double>::infinity());
  EXPECT_EQ(object.GetNamedNumber(u"tiny"), 0.0);
}

TEST(JsonObjectTest, ParsesAnEmptyObjectAndSurroundingWhiteSpace) {
  EXPECT_EQ(JsonObject::Parse(u"{}").Size(), 0u);
  EXPECT_EQ(JsonObject::Parse(u" \r\n\t{ \"a\" : \"b\" }\n").Size(), 1u);
}

TEST(JsonObjectTest, ReadsMembersByExactName) {
  JsonObject object = JsonObject::Parse(uR"({"file":"a.exe","File":"B.EXE","size":1e3,"half":1.5,"n":-5})");
  EXPECT_EQ(object.Size(), 5u);
  EXPECT_TRUE(object.HasKey(u"file"));
  EXPECT_FALSE(object.HasKey(u"FILE"));
  EXPECT_EQ(object.GetNamedString(u"file"), u"a.exe");
  EXPECT_EQ(object.GetNamedString(u"File"), u"B.EXE");
  EXPECT_EQ(object.GetNamedNumber(u"size"), 1000.0);
  EXPECT_EQ(object.GetNamedNumber(u"half"), 1.5);
  EXPECT_EQ(object.GetNamedNumber(u"n"), -5.0);
}

TEST(JsonObjectTest, DecodesEscapesAndNonAsciiStrings) {
  JsonObject object = JsonObject::Parse(uR"({"s":"\u00e9\ud83d\ude00\u0000\"\\/","t":"é😀"})");
  EXPECT_EQ(object.GetNamedString(u"s"), u"\u00E9\U0001F600\0\"\\/"s);
  EXPECT_EQ(object.GetNamedString(u"t"), u"\u00E9\U0001F600");
}

TEST(JsonObjectTest, RefusesMissingMembersAndWrongTypes) {
  JsonObject object = JsonObject::Parse(uR"({"number":1,"text":"1","null":null,"object":{}})");
  EXPECT_TRUE(RaisesHresultError([&] { object.GetNamedString(u"missing"); }));
  EXPECT_TRUE(RaisesHresultError([&] { object.GetNamedString(u"number"); }));
  EXPECT_TRUE(RaisesHresultError([&] { object.GetNamedString(u"null"); }));
  EXPECT_TRUE(RaisesHresultError([&] { object.GetNamedString(u"number", u"default"); }));
  EXPECT_TRUE(RaisesHresultError([&] { object.GetNamedNumber(u"missing"); }));
  EXPECT_TRUE(RaisesHresultError([&] { object.GetNamedNumber(u"text"); }));
  EXPECT_TRUE(RaisesHresultError([&] { object.GetNamedNumber(u"object"); }));
}

TEST(JsonObjectTest, DefaultStandsInOnlyForAMissingMember) {
  JsonObject object = JsonObject::Parse(uR"({"runtime":""})");
  EXPECT_EQ(object.GetNamedString(u"missing", u"fallback"), u"fallback");
  EXPECT_EQ(object.GetNamedString(u"runtime", u"fallback"), u"");
}

TEST(JsonObjectTest, WritesMembersInTheOrderTheyWereSet) {
  JsonObject status;
  status.SetNamedValue(u"ok", JsonValue::CreateBooleanValue(true));
  status.SetNamedValue(u"state", JsonValue::CreateStringValue(u"ready"));
  status.SetNamedValue(u"message", JsonValue::CreateStringValue(u""));
  JsonArray origins;
  origins.Append(JsonValue::CreateStringValue(u"chrome-extension://a/"));
  origins.Append(JsonValue::CreateBooleanValue(false));
  status.SetNamedValue(u"allowed_origins", origins);
  status.SetNamedValue(u"ok", JsonValue::CreateBooleanValue(false));
  EXPECT_EQ(status.Stringify(),
            uR"({"ok":false,"state":"ready","message":"","allowed_origins":["chrome-extension://a/",false]})");
}

TEST(JsonObjectTest, SerialisedStringsParseBackUnchanged) {
  const std::u16string tricky = u"quote \" backslash \\ controls \n\t\0 \u00E9 \U0001F600"s;
  JsonObject object;
  object.SetNamedValue(u"message", JsonValue::CreateStringValue(tricky));
  EXPECT_EQ(JsonObject::Parse(object.Stringify()).GetNamedString(u"message"), tricky);
}

TEST(JsonObjectTest, UnpairedSurrogatesAreStoredAsReplacementCharacters) {
  JsonObject object;
  object.SetNamedValue(u"message", JsonValue::CreateStringValue(std::u16string(1, u'\xD800')));
  EXPECT_EQ(object.GetNamedString(u"message"), u"\uFFFD");
}

TEST(JsonObjectTest, CopiesAreIndependent) {
  JsonObject original;
  original.SetNamedValue(u"a", JsonValue::CreateBooleanValue(true));
  JsonObject copy = original;
  copy.SetNamedValue(u"b", JsonValue::CreateBooleanValue(true));
  EXPECT_EQ(original.Size(), 1u);
  EXPECT_EQ(copy.Size(), 2u);
}

}  // namespace
}  // namespace ostrel
