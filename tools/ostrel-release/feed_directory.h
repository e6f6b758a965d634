// The files of a feed directory as ostrel-release writes them: each is
// written under a temporary name and renamed into place only once all of
// them are complete, so a failure leaves no partial file behind.
#pragma once

#include <filesystem>
#include <string_view>
#include <vector>

namespace ostrel {

class FeedDirectoryWrite {
 public:
  explicit FeedDirectoryWrite(std::filesystem::path directory);
  // Removes whatever was staged and not committed.
  ~FeedDirectoryWrite();
  FeedDirectoryWrite(const FeedDirectoryWrite&) = delete;
  FeedDirectoryWrite& operator=(const FeedDirectoryWrite&) = delete;

  // Stages a file of the given content, or a copy of an existing file, and
  // returns the temporary path it is staged under.
  std::filesystem::path Stage(std::string_view name, std::string_view content);
  std::filesystem::path StageCopy(std::string_view name, const std::filesystem::path& source);
  // Renames every staged file to its name, in the order staged, replacing an
  // older one.
  void Commit();

 private:
  std::filesystem::path StagingPath(std::string_view name);

  std::filesystem::path directory_;
  std::vector<std::pair<std::filesystem::path, std::filesystem::path>> staged_;  // temporary, final
};

// Writes a new file with the given permissions; refuses to replace one.
void WriteNewFile(const std::filesystem::path& path, std::string_view content, std::filesystem::perms permissions);

}  // namespace ostrel
