#include "release/bounded_file.h"

#include <filesystem>
#include <fstream>

#include "foundation/failure.h"

namespace ostrel {

std::string ReadBoundedFile(std::u16string_view path, std::uint64_t limit) {
  std::filesystem::path file(path);
  std::uintmax_t size = std::filesystem::file_size(file);
  Require(size != 0 && size <= limit, "Invalid metadata size");
  std::ifstream input(file, std::ios::binary);
  std::string content(static_cast<std::size_t>(size), '\0');
  input.read(content.data(), static_cast<std::streamsize>(content.size()));
  Require(!input.fail(), "Metadata read failed");
  return content;
}

}  // namespace ostrel
