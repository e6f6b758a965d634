#include "bridge/native_messaging_host.h"

#include <array>
#include <exception>
#include <span>
#include <string>

#include "bridge/control_action.h"
#include "foundation/failure.h"
#include "foundation/json_access.h"
#include "foundation/text_conversion.h"
#include "os/standard_streams.h"

namespace ostrel {
namespace {

using LengthPrefix = std::array<char, 4>;

// One read of the prefix: a short one is never completed by a second read.
std::uint32_t ReadRequestLength() {
  LengthPrefix prefix{};
  std::uint32_t read = 0;
  const os::Failure failure = os::ReadFileFromStandardInput(prefix, read);
  if (failure || read != prefix.size()) RaiseLastError("Read native frame", failure.value_or(os::ErrorSuccess));
  std::uint32_t length = 0;
  for (int index = 3; index >= 0; --index) length = length << 8 | static_cast<unsigned char>(prefix[index]);
  return length;
}

// Each read asks for exactly the bytes still missing, so whatever follows
// the body in the stream stays unread.
std::string ReadRequestBody(std::uint32_t length) {
  std::string body(length, '\0');
  std::span<char> missing(body);
  while (!missing.empty()) {
    std::uint32_t read = 0;
    const os::Failure failure = os::ReadFileFromStandardInput(missing, read);
    if (failure || read == 0) RaiseLastError("Read native request", failure.value_or(os::ErrorSuccess));
    missing = missing.subspan(read);
  }
  return body;
}

std::u16string ReadRequestAction() {
  std::uint32_t length = ReadRequestLength();
  // Tested before anything is allocated for the body.
  Require(length != 0 && length <= MaxNativeRequestSize, "Invalid native request size");
  JsonObject request = JsonObject::Parse(ToUtf16(ReadRequestBody(length)));
  Require(request.Size() == 1 && request.HasKey(u"action"), "Native updater accepts an action only");
  return request.GetNamedString(u"action");
}

void SetFailure(JsonObject& reply, std::u16string_view message) {
  reply.SetNamedValue(u"ok", JsonValue::CreateBooleanValue(false));
  reply.SetNamedValue(u"error", JsonValue::CreateStringValue(message));
}

bool WriteWhole(std::span<const char> bytes) {
  std::uint32_t written = 0;
  return !os::WriteFileToStandardOutput(bytes, written) && written == bytes.size();
}

}  // namespace

int RunNativeMessagingHost() {
  JsonObject reply;
  try {
    reply = RunControlAction(ReadRequestAction());
  } catch (const std::exception& failure) {
    SetFailure(reply, ToUtf16(failure.what()));
  } catch (...) {
    // In particular hresult_error of the JSON layer, whose code is never shown.
    SetFailure(reply, u"Invalid native update request");
  }
  std::string body = ToUtf8(reply.Stringify());
  auto length = static_cast<std::uint32_t>(body.size());
  LengthPrefix prefix{};
  for (char& byte : prefix) {
    byte = static_cast<char>(length & 0xFF);
    length >>= 8;
  }
  if (!WriteWhole(prefix)) return 1;
  return WriteWhole(body) ? 0 : 1;
}

}  // namespace ostrel
