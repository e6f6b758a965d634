// The publisher's files, read from the file system of the machine the tool
// runs on, with the updater's own size rules and installer verification.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "release/release_metadata.h"

namespace ostrel {

// The whole file, which must hold 1 to limit bytes: fails like the
// updater's bounded read ("Invalid metadata size", "Metadata read failed").
std::string ReadLocalFile(const std::filesystem::path& path, std::uint64_t limit);

// The updater's installer verification of a local file.
void VerifyLocalInstaller(const std::filesystem::path& path, const ReleaseMetadata& release);

}  // namespace ostrel
