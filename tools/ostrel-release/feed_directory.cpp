#include "tools/ostrel-release/feed_directory.h"

#include <fcntl.h>
#include <unistd.h>

#include <fstream>
#include <stdexcept>
#include <string>
#include <system_error>

namespace ostrel {
namespace {

void WriteAll(int descriptor, std::string_view content, const std::filesystem::path& path) {
  while (!content.empty()) {
    ssize_t written = ::write(descriptor, content.data(), content.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      throw std::filesystem::filesystem_error("cannot write", path, std::error_code(errno, std::generic_category()));
    }
    content.remove_prefix(static_cast<std::size_t>(written));
  }
}

}  // namespace

void WriteNewFile(const std::filesystem::path& path, std::string_view content, std::filesystem::perms permissions) {
  int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, static_cast<mode_t>(permissions));
  if (descriptor < 0) {
    throw std::filesystem::filesystem_error("cannot create", path, std::error_code(errno, std::generic_category()));
  }
  try {
    WriteAll(descriptor, content, path);
  } catch (...) {
    ::close(descriptor);
    ::unlink(path.c_str());
    throw;
  }
  if (::close(descriptor) != 0) {
    std::error_code error(errno, std::generic_category());
    ::unlink(path.c_str());
    throw std::filesystem::filesystem_error("cannot write", path, error);
  }
}

FeedDirectoryWrite::FeedDirectoryWrite(std::filesystem::path directory) : directory_(std::move(directory)) {
  std::filesystem::create_directories(directory_);
}

FeedDirectoryWrite::~FeedDirectoryWrite() {
  for (const auto& [temporary, final] : staged_) {
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
  }
}

std::filesystem::path FeedDirectoryWrite::StagingPath(std::string_view name) {
  std::filesystem::path temporary = directory_ / ("." + std::string(name) + ".partial");
  std::filesystem::remove(temporary);  // a leftover of an interrupted run
  staged_.emplace_back(temporary, directory_ / name);
  return temporary;
}

std::filesystem::path FeedDirectoryWrite::Stage(std::string_view name, std::string_view content) {
  std::filesystem::path temporary = StagingPath(name);
  WriteNewFile(temporary, content, std::filesystem::perms(0644));
  return temporary;
}

std::filesystem::path FeedDirectoryWrite::StageCopy(std::string_view name, const std::filesystem::path& source) {
  std::filesystem::path temporary = StagingPath(name);
  std::filesystem::copy_file(source, temporary);
  return temporary;
}

void FeedDirectoryWrite::Commit() {
  for (const auto& [temporary, final] : staged_) std::filesystem::rename(temporary, final);
  staged_.clear();
}

}  // namespace ostrel
