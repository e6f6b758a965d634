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

// Files only: the fake moves one entry and never the objects below it.
ErrorCode MoveFileEx(std::u16string_view existingPath, std::u16string_view newPath, std::uint32_t flags) {
  fake::FakeFileSystem& fileSystem = fake::Machine().fileSystem;
  fake::FakeFileSystem::Lookup source = fileSystem.Look(existingPath);
  if (source.file == nullptr) return source.missing;
  fake::FakeFileSystem::Lookup target = fileSystem.Look(newPath);
  if (target.file != nullptr) {
    if (!(flags & MovefileReplaceExisting)) return ErrorAlreadyExists;
    if (target.file->attributes & FileAttributeDirectory) return ErrorAccessDenied;
  } else if (target.missing != ErrorFileNotFound) {
    return target.missing;
  }
  if (source.key == target.key) return ErrorSuccess;
  fake::FakeFile moved = std::move(*source.file);
  fileSystem.files.erase(source.key);
  fileSystem.files[target.key] = std::move(moved);
  return ErrorSuccess;
}

}  // namespace ostrel::os
