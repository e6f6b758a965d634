#include "os/file_listing.h"

#include "fake_os/fake_machine.h"
#include "os/access_rights.h"
#include "os/file_system.h"

namespace ostrel::os {
namespace {

using fake::FakeFileSystem;
using fake::Machine;

std::map<std::uintptr_t, FakeFileSystem::Search>& Searches() { return Machine().fileSystem.searches; }

// The entries of the directory at the key, listed as Windows lists a
// directory that is not a drive root: "." and ".." first.
std::vector<FindData> EntriesOf(const FakeFileSystem& fileSystem, const std::u16string& key) {
  std::vector<FindData> entries;
  const bool root = key.size() == 3;
  if (!root) entries = {{FileAttributeDirectory, u"."}, {FileAttributeDirectory, u".."}};
  const std::u16string prefix = root ? key : key + u"\\";
  for (const auto& [other, file] : fileSystem.files) {
    if (other.size() <= prefix.size() || !other.starts_with(prefix)) continue;
    std::u16string name = other.substr(prefix.size());
    if (name.find(u'\\') == std::u16string::npos) entries.push_back({file->attributes, std::move(name)});
  }
  return entries;
}

}  // namespace

void FindClose(std::uintptr_t find) noexcept { Machine().handles.Close(find); }

// Only the pattern of every name, "<directory>\*", is modelled.
Failure FindFirstFileEx(std::u16string_view pattern, FindHandle& find, FindData& data) {
  if (!pattern.ends_with(u"\\*")) return ErrorInvalidParameter;
  FakeFileSystem& fileSystem = Machine().fileSystem;
  FakeFileSystem::Lookup directory = fileSystem.Look(pattern.substr(0, pattern.size() - 2));
  if (directory.file == nullptr || !(directory.file->attributes & FileAttributeDirectory)) return ErrorPathNotFound;
  if (!fake::AccessGranted(directory.file->security, Machine().identity, FileReadData)) return ErrorAccessDenied;
  std::vector<FindData> entries = EntriesOf(fileSystem, directory.key);
  if (entries.empty()) return ErrorFileNotFound;
  std::uintptr_t handle = Machine().handles.Open();
  Machine().handles.open[handle] = [handle] { Searches().erase(handle); };
  data = entries.front();
  Searches()[handle] = FakeFileSystem::Search{std::move(entries), 1};
  find = FindHandle(handle);
  return std::nullopt;
}

Failure FindNextFile(const FindHandle& find, FindData& data) {
  auto search = Searches().find(find.value());
  if (search == Searches().end()) return ErrorInvalidHandle;
  if (search->second.listed == search->second.entries.size()) return ErrorNoMoreFiles;
  data = search->second.entries[search->second.listed++];
  return std::nullopt;
}

}  // namespace ostrel::os
