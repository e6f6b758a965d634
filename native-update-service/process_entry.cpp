#include "native-update-service/process_entry.h"

#include <exception>
#include <string_view>

#include "foundation/failure.h"
#include "native-update-service/invocation_table.h"
#include "os/com.h"
#include "os/standard_streams.h"

namespace ostrel {
namespace {

// Builds nothing: the failure may be that memory ran out, and a failure
// raised here would end the process without a line. The line ends in CR LF,
// as a text-mode stream ends it on Windows.
void ReportFailure(std::string_view message) {
  os::WriteStandardError(message);
  os::WriteStandardError("\r\n");
}

}  // namespace

int RunProcessEntry(int argumentCount, const char16_t* const* arguments) {
  try {
    RaiseIfFailed(os::CoInitializeEx(os::CoinitMultithreaded));
    return RunInvocation(argumentCount, arguments);
  } catch (const std::exception& failure) {
    ReportFailure(failure.what());
  } catch (...) {
    ReportFailure(UnexplainedFailureMessage);
  }
  return 1;
}

}  // namespace ostrel
