#include "bridge/native_messaging_host.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "bridge/bridge_machine.h"
#include "fake_os/fake_machine.h"

namespace ostrel {
namespace {

using fake::Machine;

constexpr const char* StatusDocument = R"({"ok":true,"state":"up_to_date","installedVersion":"1.2.3"})";

// The 4-byte little-endian length and the body.
std::string Frame(std::string_view body) {
  std::string frame;
  for (std::size_t length = body.size(), index = 0; index < 4; ++index, length >>= 8) {
    frame += static_cast<char>(length & 0xFF);
  }
  return frame + std::string(body);
}

std::string Prefix(std::uint32_t length) { return Frame(std::string(length, ' ')).substr(0, 4); }

std::string Failure(std::string_view message) { return R"({"ok":false,"error":")" + std::string(message) + "\"}"; }

class NativeMessagingHostTest : public testing::Test {
 protected:
  void SetUp() override {
    test::ArrangeInstalledUpdater(u"1.2.3");
    Machine().fileSystem.AddFile(test::StatusPath, StatusDocument);
  }
};

struct FrameCase {
  FrameCase(const char* name, std::string input, std::string replyBody, std::vector<std::uint32_t> reads = {},
            std::string unread = "")
      : name(name), input(std::move(input)), replyBody(std::move(replyBody)), reads(std::move(reads)),
        unread(std::move(unread)) {}

  const char* name;
  std::string input;
  std::string replyBody;
  // The bytes each read asked for, when the row is about them.
  std::vector<std::uint32_t> reads;
  // What is left of the input.
  std::string unread;
};

class NativeFrameTest : public NativeMessagingHostTest, public testing::WithParamInterface<FrameCase> {};

TEST_P(NativeFrameTest, AnswersOneFrameWithOneFrame) {
  const FrameCase& row = GetParam();
  Machine().standardInput = row.input;
  EXPECT_EQ(RunNativeMessagingHost(), 0);
  EXPECT_EQ(Machine().standardOutput, Frame(row.replyBody));
  EXPECT_EQ(Machine().standardOutputWrites, (std::vector<std::size_t>{4, row.replyBody.size()}));
  if (!row.reads.empty()) {
    EXPECT_EQ(Machine().standardInputReads, row.reads);
  }
  EXPECT_EQ(Machine().standardInput, row.unread);
  EXPECT_EQ(Machine().standardError, "");
}

const std::string Status = R"({"action":"status"})";

INSTANTIATE_TEST_SUITE_P(
    Rows, NativeFrameTest,
    testing::Values(
        FrameCase{"Status", Frame(Status), StatusDocument, {4, 19}},
        FrameCase{"LargestBody", Frame(Status + std::string(4096 - Status.size(), ' ')), StatusDocument, {4, 4096}},
        FrameCase{"BodyTooLarge", Prefix(4097) + Status, Failure("Invalid native request size"), {4}, Status},
        FrameCase{"EmptyBody", Prefix(0) + Status, Failure("Invalid native request size"), {4}, Status},
        FrameCase{"BodyCutShort", Prefix(10) + "{\"act", Failure("Read native request (109)"), {4, 10, 5}},
        FrameCase{"NoInput", "", Failure("Read native frame (109)"), {4}},
        // A prefix that arrives short is not completed by a second read.
        FrameCase{"PrefixCutShort", "\x13", Failure("Read native frame (0)"), {4}},
        FrameCase{"EmptyObject", Frame("{}"), Failure("Native updater accepts an action only")},
        FrameCase{"SecondMember", Frame(R"({"action":"status","force":true})"),
                  Failure("Native updater accepts an action only")},
        FrameCase{"OtherMember", Frame(R"({"request":"status"})"), Failure("Native updater accepts an action only")},
        FrameCase{"NumberAction", Frame(R"({"action":1})"), Failure("Invalid native update request")},
        FrameCase{"Array", Frame(R"(["status"])"), Failure("Invalid native update request")},
        FrameCase{"BareString", Frame(R"("status")"), Failure("Invalid native update request")},
        FrameCase{"NotJson", Frame("action=status"), Failure("Invalid native update request")},
        FrameCase{"TrailingText", Frame(Status + "x"), Failure("Invalid native update request")},
        FrameCase{"CapitalAction", Frame(R"({"action":"STATUS"})"), Failure("Unsupported updater request")},
        // Malformed UTF-8 becomes U+FFFD, which no action contains.
        FrameCase{"MalformedUtf8", Frame("{\"action\":\"stat\xC3\"}"), Failure("Unsupported updater request")},
        FrameCase{"SecondFrameLeftUnread", Frame(Status) + Frame(R"({"action":"stop"})"), StatusDocument, {4, 19},
                  Frame(R"({"action":"stop"})")}),
    [](const testing::TestParamInfo<FrameCase>& info) { return std::string(info.param.name); });

TEST_F(NativeMessagingHostTest, ReadsABodyThatArrivesInPiecesAskingForWhatIsMissing) {
  Machine().standardInput = Frame(Status);
  Machine().standardInputChunk = 8;
  EXPECT_EQ(RunNativeMessagingHost(), 0);
  EXPECT_EQ(Machine().standardOutput, Frame(StatusDocument));
  EXPECT_EQ(Machine().standardInputReads, (std::vector<std::uint32_t>{4, 19, 11, 3}));
}

TEST_F(NativeMessagingHostTest, AnswersAFailureOfTheActionWithItsMessage) {
  Machine().moduleFileName = u"C:\\Users\\user\\Downloads\\OstrelUpdate.exe";
  Machine().standardInput = Frame(Status);
  EXPECT_EQ(RunNativeMessagingHost(), 0);
  EXPECT_EQ(Machine().standardOutput, Frame(Failure("Updater is not installed in its fixed application directory")));
}

TEST_F(NativeMessagingHostTest, ReportsAReplyThatDidNotReachStandardOutput) {
  Machine().standardInput = Frame(Status);
  Machine().standardOutputResult = os::ErrorInvalidHandle;
  EXPECT_EQ(RunNativeMessagingHost(), 1);
  EXPECT_EQ(Machine().standardOutputWrites, std::vector<std::size_t>{4}) << "no body after a failed length";
  EXPECT_EQ(Machine().standardError, "");

  for (std::uint32_t limit : {3u, 4u}) {
    fake::ResetMachine();
    SetUp();
    Machine().standardInput = Frame(Status);
    Machine().standardOutputLimit = limit;
    EXPECT_EQ(RunNativeMessagingHost(), 1) << limit;
    EXPECT_EQ(Machine().standardOutputWrites.size(), limit == 4 ? 2u : 1u) << limit;
  }
}

}  // namespace
}  // namespace ostrel
