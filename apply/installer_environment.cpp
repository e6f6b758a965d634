#include "apply/installer_environment.h"

#include <algorithm>
#include <iterator>

#include "foundation/ascii_case.h"
#include "foundation/path_join.h"
#include "locations/updater_locations.h"

namespace ostrel {
namespace {

constexpr std::u16string_view TemporaryVariables[] = {u"TEMP", u"TMP"};

// The name of a "name=value" string. A name may begin with "=" (the
// per-drive directories), so the separator is looked for after it.
std::u16string_view NameOf(std::u16string_view entry) { return entry.substr(0, entry.find(u'=', 1)); }

}  // namespace

std::u16string InstallerTemporaryDirectory() { return JoinPath(UpdaterDataDirectory(), InstallerTemporaryName); }

std::u16string WithTemporaryDirectory(std::u16string_view environment, std::u16string_view temporaryDirectory) {
  std::u16string result;
  bool set[std::size(TemporaryVariables)] = {};
  auto append = [&result, temporaryDirectory](std::u16string_view name) {
    result.append(name).append(u"=").append(temporaryDirectory).push_back(u'\0');
  };
  while (!environment.empty() && environment.front() != u'\0') {
    std::u16string_view entry = environment.substr(0, environment.find(u'\0'));
    environment.remove_prefix(std::min(entry.size() + 1, environment.size()));
    bool replaced = false;
    for (std::size_t index = 0; index < std::size(TemporaryVariables); ++index) {
      if (EqualIgnoringAsciiCase(NameOf(entry), TemporaryVariables[index])) {
        append(NameOf(entry));
        set[index] = replaced = true;
      }
    }
    if (!replaced) result.append(entry).push_back(u'\0');
  }
  for (std::size_t index = 0; index < std::size(TemporaryVariables); ++index) {
    if (!set[index]) append(TemporaryVariables[index]);
  }
  result.push_back(u'\0');
  return result;
}

}  // namespace ostrel
