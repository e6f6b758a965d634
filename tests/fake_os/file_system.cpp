#include "os/file_system.h"

#include <vector>

#include "fake_os/fake_machine.h"
#include "os/file.h"
#include "os/handle.h"

namespace ostrel::os {
namespace {

using fake::FakeFile;
using fake::FakeFileSystem;
using fake::Machine;


bool Grants(const FakeFile& object, std::uint32_t access) {
  return fake::AccessGranted(object.security, Machine().identity, access);
}

// Removing a name takes DELETE on the object or FILE_DELETE_CHILD on its
// directory.
bool MayRemoveName(FakeFileSystem& fileSystem, const std::u16string& key) {
  return Grants(*fileSystem.files.at(key), Delete) ||
         Grants(*fileSystem.Find(FakeFileSystem::ParentKey(key)), FileDeleteChild);
}

// Whether an open of the object for DELETE, sharing everything, may join
// the opens already made: what a rename or a delete needs.
bool SharedForDeleting(const FakeFileSystem& fileSystem, const FakeFile& file) {
  return fileSystem.SharingAllows(file, Delete, FileShareRead | FileShareWrite | FileShareDelete);
}

bool IsOpen(const FakeFileSystem& fileSystem, const FakeFile& file) {
  for (const auto& [handle, open] : fileSystem.openFiles) {
    if (open.file.get() == &file) return true;
  }
  return false;
}

// Gives the object at the key, and every object below it, the new key.
void Rename(FakeFileSystem& fileSystem, const std::u16string& from, const std::u16string& to) {
  std::vector<std::u16string> keys;
  for (const auto& [key, file] : fileSystem.files) {
    if (key == from || key.starts_with(from + u"\\")) keys.push_back(key);
  }
  for (const std::u16string& key : keys) {
    auto node = fileSystem.files.extract(key);
    node.key() = to + key.substr(from.size());
    fileSystem.files.insert(std::move(node));
  }
}

// Moves the object found at the source to the new path, as MoveFileExW and a
// rename by handle do; the name's removal is checked here only for a move by
// path.
Failure MoveObject(FakeFileSystem& fileSystem, const FakeFileSystem::Lookup& source, std::u16string_view newPath,
                   bool replaceExisting, bool byPath) {
  FakeFileSystem::Lookup target = fileSystem.Look(newPath);
  if (target.file == source.file) return std::nullopt;
  if (target.file == nullptr && target.missing != ErrorFileNotFound) return target.missing;
  if (target.key.starts_with(source.key + u"\\")) return ErrorInvalidParameter;
  const FakeFile& targetDirectory = *fileSystem.Find(FakeFileSystem::ParentKey(target.key));
  bool container = (source.file->attributes & FileAttributeDirectory) != 0;
  if ((byPath && !MayRemoveName(fileSystem, source.key)) ||
      !Grants(targetDirectory, container ? fake::DirectoryAddSubdirectory : fake::DirectoryAddFile)) {
    return ErrorAccessDenied;
  }
  if (byPath && !SharedForDeleting(fileSystem, *source.file)) return ErrorSharingViolation;
  if (target.file != nullptr) {
    if (!replaceExisting) return ErrorAlreadyExists;
    // A directory is never replaced, and neither is a file that is open.
    if ((target.file->attributes & FileAttributeDirectory) || IsOpen(fileSystem, *target.file) ||
        !MayRemoveName(fileSystem, target.key)) {
      return ErrorAccessDenied;
    }
  }
  if (fileSystem.ChangeFails()) return fileSystem.changeFailure;
  if (target.file != nullptr) fileSystem.files.erase(target.key);
  Rename(fileSystem, source.key, target.key);
  if (fileSystem.afterMove) fileSystem.afterMove(target.key);
  return std::nullopt;
}

}  // namespace

Failure GetFileAttributes(std::u16string_view path, std::uint32_t& attributes) {
  FakeFileSystem& fileSystem = Machine().fileSystem;
  fileSystem.attributeQueries.emplace_back(path);
  FakeFileSystem::Lookup lookup = fileSystem.Look(path);
  if (lookup.file == nullptr) return lookup.missing;
  if (lookup.file->attributesError) return lookup.file->attributesError;
  attributes = lookup.file->attributes;
  return std::nullopt;
}

Failure CreateDirectory(std::u16string_view path, const SecurityDescriptor& descriptor) {
  FakeFileSystem& fileSystem = Machine().fileSystem;
  if (fileSystem.beforeCreateDirectory) fileSystem.beforeCreateDirectory(path);
  FakeFileSystem::Lookup lookup = fileSystem.Look(path);
  if (lookup.file != nullptr) return ErrorAlreadyExists;
  if (lookup.missing != ErrorFileNotFound) return lookup.missing;
  const FakeFile& parent = *fileSystem.Find(FakeFileSystem::ParentKey(lookup.key));
  if (!Grants(parent, fake::DirectoryAddSubdirectory)) return ErrorAccessDenied;
  if (fileSystem.ChangeFails()) return fileSystem.changeFailure;
  fake::FakeSecurity security = fileSystem.descriptors.at(descriptor.value());
  // A DACL that is not protected is followed by what the parent passes on.
  if (security.dacl && !security.daclProtected) {
    const os::Sid owner = security.owner.value_or(Machine().identity.defaultOwner);
    for (fake::FakeAce& ace : fake::InheritedAces(parent.security, true, owner)) security.dacl->push_back(ace);
  }
  if (!security.owner) security.owner = Machine().identity.defaultOwner;
  fileSystem.AddDirectory(lookup.key).security = std::move(security);
  return std::nullopt;
}

Failure MoveFileEx(std::u16string_view existingPath, std::u16string_view newPath, std::uint32_t flags) {
  FakeFileSystem& fileSystem = Machine().fileSystem;
  FakeFileSystem::Lookup source = fileSystem.Look(existingPath);
  if (source.file == nullptr) return source.missing;
  return MoveObject(fileSystem, source, newPath, (flags & MovefileReplaceExisting) != 0, true);
}

// Renaming by handle lives beside MoveFileExW, whose rules it shares: the
// handle's open already checked DELETE and the sharing of the object.
Failure SetFileRenameInformation(const Handle& file, std::u16string_view newPath, bool replaceIfExists) {
  FakeFileSystem& fileSystem = Machine().fileSystem;
  auto open = fileSystem.openFiles.find(file.value());
  if (open == fileSystem.openFiles.end()) return ErrorInvalidHandle;
  if (!(open->second.access & Delete)) return ErrorAccessDenied;
  for (const auto& [key, object] : fileSystem.files) {
    if (object != open->second.file) continue;
    FakeFileSystem::Lookup source{key, object.get(), ErrorSuccess};
    return MoveObject(fileSystem, source, newPath, replaceIfExists, false);
  }
  return ErrorFileNotFound;
}

Failure CopyFile(std::u16string_view existingPath, std::u16string_view newPath, bool failIfExists) {
  FakeFileSystem& fileSystem = Machine().fileSystem;
  FakeFileSystem::Lookup source = fileSystem.LookThroughLink(existingPath);
  if (source.file == nullptr) return source.missing;
  if (source.file->attributes & FileAttributeDirectory) return ErrorAccessDenied;
  if (!Grants(*source.file, GenericRead)) return ErrorAccessDenied;
  if (!fileSystem.SharingAllows(*source.file, GenericRead, FileShareRead | FileShareDelete)) {
    return ErrorSharingViolation;
  }
  FakeFileSystem::Lookup target = fileSystem.LookThroughLink(newPath);
  FakeFile* copy = target.file;
  if (copy != nullptr) {
    if (failIfExists) return ErrorFileExists;
    if (copy->attributes & FileAttributeDirectory || !Grants(*copy, GenericWrite)) return ErrorAccessDenied;
    if (!fileSystem.SharingAllows(*copy, GenericWrite, 0)) return ErrorSharingViolation;
    if (fileSystem.ChangeFails()) return fileSystem.changeFailure;
  } else {
    if (target.missing != ErrorFileNotFound) return target.missing;
    const FakeFile& parent = *fileSystem.Find(FakeFileSystem::ParentKey(target.key));
    if (!Grants(parent, fake::DirectoryAddFile)) return ErrorAccessDenied;
    if (fileSystem.ChangeFails()) return fileSystem.changeFailure;
    copy = &fileSystem.AddFile(target.key);
    copy->security = fake::InheritedSecurity(parent.security, false, Machine().identity);
  }
  copy->attributes = source.file->attributes;
  copy->contents = source.file->contents;
  return std::nullopt;
}

// A junction goes by itself: what lies at its target is not below it.
Failure RemoveDirectory(std::u16string_view path) {
  FakeFileSystem& fileSystem = Machine().fileSystem;
  FakeFileSystem::Lookup lookup = fileSystem.Look(path);
  if (lookup.file == nullptr) return lookup.missing;
  if (!(lookup.file->attributes & FileAttributeDirectory)) return ErrorDirectory;
  const bool junction = (lookup.file->attributes & FileAttributeReparsePoint) != 0;
  for (const auto& [key, file] : fileSystem.files) {
    if (!junction && key.starts_with(lookup.key + u"\\")) return ErrorDirNotEmpty;
  }
  if (!MayRemoveName(fileSystem, lookup.key)) return ErrorAccessDenied;
  if (!SharedForDeleting(fileSystem, *lookup.file)) return ErrorSharingViolation;
  if (fileSystem.ChangeFails()) return fileSystem.changeFailure;
  fileSystem.files.erase(lookup.key);
  return std::nullopt;
}

Failure DeleteFile(std::u16string_view path) {
  FakeFileSystem& fileSystem = Machine().fileSystem;
  FakeFileSystem::Lookup lookup = fileSystem.Look(path);
  if (lookup.file == nullptr) return lookup.missing;
  if ((lookup.file->attributes & FileAttributeDirectory) || !MayRemoveName(fileSystem, lookup.key)) {
    return ErrorAccessDenied;
  }
  if (!SharedForDeleting(fileSystem, *lookup.file)) return ErrorSharingViolation;
  if (fileSystem.ChangeFails()) return fileSystem.changeFailure;
  // Opens that share deleting keep the object; only the name goes.
  fileSystem.files.erase(lookup.key);
  return std::nullopt;
}

}  // namespace ostrel::os
