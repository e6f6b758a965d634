#include "os/win32/sid_buffer.h"

namespace ostrel::os::win32 {

Sid ReportedSid(PSID sid) { return CopySid(sid); }

}  // namespace ostrel::os::win32
