// Parses and compares two version texts, split at the first line feed of the
// input: precedence must be a total order that no text can break.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string_view>

#include "release/release_version.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::size_t split = input.find('\n');
  std::string_view a = input.substr(0, split);
  std::string_view b = split == std::string_view::npos ? input : input.substr(split + 1);
  try {
    int order = ostrel::CompareReleaseVersions(a, b);
    if (order < -1 || order > 1) __builtin_trap();
    if (ostrel::CompareReleaseVersions(b, a) != -order) __builtin_trap();
    if (ostrel::CompareReleaseVersions(a, a) != 0) __builtin_trap();
  } catch (const std::runtime_error&) {
  }
  return 0;
}
