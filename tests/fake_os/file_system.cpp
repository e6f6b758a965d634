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

ErrorCode CreateDirectory(std::u16string_view path, const SecurityDescriptor& descriptor) {
  fake::FakeFileSystem& fileSystem = fake::Machine().fileSystem;
  fake::FakeFileSystem::Lookup lookup = fileSystem.Look(path);
  if (lookup.file != nullptr) return ErrorAlreadyExists;
  if (lookup.missing != ErrorFileNotFound) return lookup.missing;
  fileSystem.AddDirectory(path).security = fileSystem.descriptors.at(descriptor.value());
  return ErrorSuccess;
}

}  // namespace ostrel::os
