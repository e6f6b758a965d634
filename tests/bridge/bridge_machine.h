// The paths the bridge's tests look at on a machine with the updater
// installed (installed_updater.h).
#pragma once

#include <string>
#include <string_view>

#include "installed_updater.h"

namespace ostrel::test {

inline constexpr std::u16string_view DataDirectory = u"C:\\ProgramData\\OstrelNativeUpdater";
inline constexpr std::u16string_view StatusPath = u"C:\\ProgramData\\OstrelNativeUpdater\\status.json";
inline constexpr std::u16string_view LockPath = u"C:\\ProgramData\\OstrelNativeUpdater\\install.lock";

}  // namespace ostrel::test
