#include "service/service_host.h"

namespace ostrel {

// Not built yet. Nothing may escape a function the dispatcher calls, so until
// the service host exists this returns at once and never reports running.
void ServiceMain(std::uint32_t, char16_t**) {}

}  // namespace ostrel
