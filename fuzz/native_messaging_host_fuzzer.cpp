// Feeds arbitrary bytes to the native messaging host as its standard input.
// Whatever arrives, the host must read no further than the frame it was
// announced, and answer with exactly one frame whose body is a JSON object
// of its length, written whole.
//
// The fuzzer stands in for the standard handles and for the control actions,
// so only the host's own reading, parsing and answering is exercised; the
// link takes these definitions and never needs the real ones.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "bridge/control_action.h"
#include "bridge/native_messaging_host.h"
#include "foundation/text_conversion.h"
#include "os/standard_streams.h"

namespace {

std::string_view input;
std::size_t consumed = 0;
std::string output;

}  // namespace

namespace ostrel {

os::Failure os::ReadFileFromStandardInput(std::span<char> buffer, std::uint32_t& bytesRead) {
  std::size_t count = std::min(buffer.size(), input.size() - consumed);
  // The end of a pipe whose writer has closed it.
  if (count == 0) return os::ErrorBrokenPipe;
  std::copy_n(input.data() + consumed, count, buffer.data());
  consumed += count;
  bytesRead = static_cast<std::uint32_t>(count);
  return std::nullopt;
}

os::Failure os::WriteFileToStandardOutput(std::span<const char> bytes, std::uint32_t& bytesWritten) {
  output.append(bytes.data(), bytes.size());
  bytesWritten = static_cast<std::uint32_t>(bytes.size());
  return std::nullopt;
}

JsonObject RunControlAction(std::u16string_view action) {
  if (action != u"check" && action != u"status" && action != u"stop") {
    throw std::runtime_error("Unsupported updater request");
  }
  JsonObject reply;
  reply.SetNamedValue(u"ok", JsonValue::CreateBooleanValue(true));
  reply.SetNamedValue(u"state", JsonValue::CreateStringValue(action));
  return reply;
}

}  // namespace ostrel

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  input = std::string_view(reinterpret_cast<const char*>(data), size);
  consumed = 0;
  output.clear();
  if (ostrel::RunNativeMessagingHost() != 0) __builtin_trap();

  std::uint32_t announced = 0;
  for (std::size_t index = std::min<std::size_t>(size, 4); index-- > 0;) announced = announced << 8 | data[index];
  bool bodyRead = size >= 4 && announced >= 1 && announced <= ostrel::MaxNativeRequestSize;
  std::size_t allowed = bodyRead ? 4 + std::size_t{announced} : 4;
  if (consumed != std::min(size, allowed)) __builtin_trap();

  if (output.size() < 4) __builtin_trap();
  std::uint32_t length = 0;
  for (std::size_t index = 4; index-- > 0;) length = length << 8 | static_cast<unsigned char>(output[index]);
  if (length != output.size() - 4) __builtin_trap();
  ostrel::JsonObject reply = ostrel::JsonObject::Parse(ostrel::ToUtf16(std::string_view(output).substr(4)));
  if (!reply.HasKey(u"ok")) __builtin_trap();
  return 0;
}
