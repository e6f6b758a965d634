// The Windows program entry, built only into the Windows executable (linked
// with -municode): hands the UTF-16 command line to the portable process
// entry.
#include "native-update-service/process_entry.h"

// Windows passes the command line as wchar_t; with mingw-w64 that is a UTF-16
// code unit like char16_t, so the cast below is exact.
static_assert(sizeof(wchar_t) == sizeof(char16_t));

int wmain(int argumentCount, wchar_t** arguments) {
  return ostrel::RunProcessEntry(argumentCount, reinterpret_cast<const char16_t* const*>(arguments));
}
