// The Windows service "OstrelNativeUpdater" that runs the update cycle.
#pragma once

#include <cstdint>
#include <string_view>

namespace ostrel {

inline constexpr std::u16string_view ServiceName = u"OstrelNativeUpdater";

// The service's entry, called by the service control dispatcher on a thread
// of its own.
void ServiceMain(std::uint32_t argumentCount, char16_t** arguments);

}  // namespace ostrel
