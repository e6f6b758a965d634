// A fresh directory name for contract tests that create objects: unused by
// any earlier run, under C:\ProgramData. Under Windows the tree is removed
// when the test ends; natively the fake machine is simply reset.
#pragma once

#include <chrono>
#include <random>
#include <string>

#ifdef _WIN32
#include <filesystem>
#endif

namespace ostrel::os {

class ScratchDirectory {
 public:
  ScratchDirectory() {
    std::mt19937_64 generator(std::random_device{}() ^
                              static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    for (char digit : std::to_string(generator())) path_ += static_cast<char16_t>(digit);
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;
  ~ScratchDirectory() {
#ifdef _WIN32
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(std::u16string(path_)), ignored);
#endif
  }

  const std::u16string& path() const { return path_; }
  std::u16string Child(std::u16string_view name) const { return path_ + u"\\" + std::u16string(name); }

 private:
  std::u16string path_ = u"C:\\ProgramData\\ostrel-contract-";
};

}  // namespace ostrel::os
