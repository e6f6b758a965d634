// The Windows program entry: hands the UTF-16 command line to the portable
// process entry.
#include "native-update-service/process_entry.h"
#include "os/win32/windows_api.h"

int wmain(int argumentCount, wchar_t** arguments) {
  return ostrel::RunProcessEntry(argumentCount, reinterpret_cast<const char16_t* const*>(arguments));
}
