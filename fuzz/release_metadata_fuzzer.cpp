// Feeds arbitrary bytes to the reading of release.json as it happens after
// a valid signature: it must return a record within the documented bounds or
// raise one of its own failures, nothing else.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string_view>

#include "foundation/failure.h"
#include "release/release_metadata.h"
#include "release/release_version.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    ostrel::ReleaseMetadata release =
        ostrel::ReadReleaseMetadata(std::string_view(reinterpret_cast<const char*>(data), size));
    ostrel::ParseReleaseVersion(release.version);
    if (!release.runtimeMatches || release.size < 1 || release.size > 1073741824) __builtin_trap();
    if (!release.file.starts_with("Ostrel-Setup-") || !release.file.ends_with(".exe")) __builtin_trap();
  } catch (const std::runtime_error&) {
  } catch (const ostrel::hresult_error&) {
  }
  return 0;
}
