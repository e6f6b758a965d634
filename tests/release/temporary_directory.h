// A directory of real files for one test, removed with everything in it
// when the test ends.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>

namespace ostrel::test {

class TemporaryDirectory {
 public:
  TemporaryDirectory() {
    std::random_device random;
    path_ = std::filesystem::temp_directory_path() / ("ostrel-test-" + std::to_string(random()));
    std::filesystem::create_directories(path_);
  }
  ~TemporaryDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TemporaryDirectory(const TemporaryDirectory&) = delete;
  TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

  // Writes the file and returns its path as the updater's code takes it.
  std::u16string Write(std::string_view name, std::string_view content) const {
    std::ofstream(path_ / name, std::ios::binary).write(content.data(), static_cast<std::streamsize>(content.size()));
    return Path(name);
  }
  std::u16string Path(std::string_view name) const { return (path_ / name).u16string(); }

 private:
  std::filesystem::path path_;
};

}  // namespace ostrel::test
