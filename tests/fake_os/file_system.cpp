#include "os/file_system.h"

#include "fake_os/fake_machine.h"

namespace ostrel::os {

ErrorCode GetFileAttributes(std::u16string_view path, std::uint32_t& attributes) {
  fake::FakeFileSystem& fileSystem = fake::Machine().fileSystem;
  fileSystem.attributeQueries.emplace_back(path);
  fake::FakeFileSystem::Lookup lookup = fileSystem.Look(path);
  if (lookup.file == nullptr) return lookup.missing;
  if (lookup.file->attributesError != ErrorSuccess) return lookup.file->attributesError;
  attributes = lookup.file->attributes;
  return ErrorSuccess;
}

}  // namespace ostrel::os
