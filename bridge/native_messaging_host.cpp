#include "bridge/native_messaging_host.h"

#include <stdexcept>

namespace ostrel {

int RunNativeMessagingHost() { throw std::runtime_error("Native messaging host is not built yet"); }

}  // namespace ostrel
