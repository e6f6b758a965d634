#include "native-update-service/process_entry.h"

#include <exception>
#include <string>
#include <string_view>

#include "foundation/failure.h"
#include "native-update-service/invocation_table.h"
#include "os/com.h"
#include "os/standard_streams.h"

namespace ostrel {
namespace {

void ReportFailure(std::string_view message) {
  std::string line(message);
  line += '\n';
  os::WriteStandardError(line);
}

}  // namespace

int RunProcessEntry(int argumentCount, const char16_t* const* arguments) {
  try {
    RaiseIfFailed(os::CoInitializeEx(os::CoinitMultithreaded));
    return RunInvocation(argumentCount, arguments);
  } catch (const std::exception& failure) {
    ReportFailure(failure.what());
  } catch (...) {
    // An hresult_error or anything else outside the standard hierarchy: its
    // code means nothing to the reader, so only the fixed text is shown.
    ReportFailure("Native updater failed");
  }
  return 1;
}

}  // namespace ostrel
