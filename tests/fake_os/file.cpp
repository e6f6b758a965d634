#include "os/file.h"

#include <algorithm>

#include "fake_os/fake_machine.h"

namespace ostrel::os {
namespace {

using fake::FakeFile;
using fake::FakeFileSystem;
using fake::Machine;

FakeFileSystem::OpenFile* OpenFileOf(const Handle& file) {
  auto open = Machine().fileSystem.openFiles.find(file.value());
  return open == Machine().fileSystem.openFiles.end() ? nullptr : &open->second;
}

bool Grants(const FakeFile& object, std::uint32_t access) {
  return fake::AccessGranted(object.security, Machine().identity, access);
}

}  // namespace

Failure CreateFile(std::u16string_view path, std::uint32_t desiredAccess, std::uint32_t shareMode,
                   std::uint32_t creationDisposition, std::uint32_t flagsAndAttributes, Handle& file) {
  FakeFileSystem& fileSystem = Machine().fileSystem;
  fileSystem.createFileCalls.push_back({std::u16string(path), desiredAccess, shareMode, creationDisposition,
                                        flagsAndAttributes});
  // Without FILE_FLAG_OPEN_REPARSE_POINT a link at the name is followed.
  FakeFileSystem::Lookup lookup =
      flagsAndAttributes & FileFlagOpenReparsePoint ? fileSystem.Look(path) : fileSystem.LookThroughLink(path);
  if (lookup.file == nullptr) {
    if (creationDisposition == OpenExisting || lookup.missing != ErrorFileNotFound) return lookup.missing;
    const FakeFile& parent = *fileSystem.Find(FakeFileSystem::ParentKey(lookup.key));
    if (!Grants(parent, fake::DirectoryAddFile)) return ErrorAccessDenied;
    if (fileSystem.ChangeFails()) return fileSystem.changeFailure;
    FakeFile& created = fileSystem.AddFile(lookup.key);
    created.attributes = flagsAndAttributes & 0xFFFF;
    // No descriptor is given, so the new file inherits.
    created.security = fake::InheritedSecurity(parent.security, false, Machine().identity);
    lookup.file = &created;
  } else {
    bool directory = (lookup.file->attributes & FileAttributeDirectory) != 0;
    if (directory && !(flagsAndAttributes & FileFlagBackupSemantics)) return ErrorAccessDenied;
    // DELETE is granted by the object or by FILE_DELETE_CHILD on its directory.
    std::uint32_t checked = desiredAccess;
    if (Grants(*fileSystem.Find(FakeFileSystem::ParentKey(lookup.key)), FileDeleteChild)) checked &= ~Delete;
    if (!Grants(*lookup.file, checked)) return ErrorAccessDenied;
    if (!fileSystem.SharingAllows(*lookup.file, desiredAccess, shareMode)) return ErrorSharingViolation;
    if (creationDisposition == CreateAlways) {
      if (fileSystem.ChangeFails()) return fileSystem.changeFailure;
      lookup.file->contents.clear();
    }
  }
  std::uintptr_t handle = Machine().handles.Open();
  Machine().handles.open[handle] = [handle] { Machine().fileSystem.openFiles.erase(handle); };
  fileSystem.openFiles[handle] =
      FakeFileSystem::OpenFile{fileSystem.files.at(lookup.key), lookup.key, desiredAccess, shareMode};
  file = Handle(handle);
  return std::nullopt;
}

Failure GetFileInformationByHandle(const Handle& file, FileInformation& information) {
  if (const Failure result = Machine().fileSystem.getFileInformationResult) return result;
  FakeFileSystem::OpenFile* open = OpenFileOf(file);
  if (open == nullptr) return ErrorInvalidHandle;
  information.attributes = open->file->attributes;
  information.numberOfLinks = Machine().fileSystem.LinkCount(*open->file);
  return std::nullopt;
}

Failure GetFileSizeEx(const Handle& file, std::uint64_t& size) {
  FakeFileSystem::OpenFile* open = OpenFileOf(file);
  if (open == nullptr) return ErrorInvalidHandle;
  size = open->file->contents.size();
  return std::nullopt;
}

Failure ReadFile(const Handle& file, std::span<char> buffer, std::uint32_t& bytesRead) {
  FakeFileSystem& fileSystem = Machine().fileSystem;
  FakeFileSystem::OpenFile* open = OpenFileOf(file);
  if (open == nullptr) return ErrorInvalidHandle;
  if (!(fake::MapGenericFileRights(open->access) & FileReadData)) return ErrorAccessDenied;
  if (fileSystem.beforeRead) fileSystem.beforeRead(*open->file);
  if (fileSystem.readFileResult) return fileSystem.readFileResult;
  const std::string& contents = open->file->contents;
  std::size_t start = std::min<std::size_t>(open->position, contents.size());
  std::size_t count = std::min(buffer.size(), contents.size() - start);
  std::copy_n(contents.begin() + static_cast<std::ptrdiff_t>(start), count, buffer.begin());
  open->position = start + count;
  bytesRead = static_cast<std::uint32_t>(count);
  return std::nullopt;
}

Failure WriteFile(const Handle& file, std::span<const char> bytes, std::uint32_t& bytesWritten) {
  FakeFileSystem& fileSystem = Machine().fileSystem;
  if (fileSystem.writeFileResult) return fileSystem.writeFileResult;
  FakeFileSystem::OpenFile* open = OpenFileOf(file);
  if (open == nullptr) return ErrorInvalidHandle;
  if (!(fake::MapGenericFileRights(open->access) & (FileWriteData | FileAppendData))) return ErrorAccessDenied;
  if (fileSystem.ChangeFails()) return fileSystem.changeFailure;
  std::size_t count = std::min<std::size_t>(bytes.size(), fileSystem.writeLimit.value_or(UINT32_MAX));
  std::string& contents = open->file->contents;
  if (contents.size() < open->position) contents.resize(open->position);
  contents.replace(open->position, count, bytes.data(), count);
  open->position += count;
  bytesWritten = static_cast<std::uint32_t>(count);
  return std::nullopt;
}

Failure SetFilePointerEx(const Handle& file, std::uint64_t position) {
  FakeFileSystem::OpenFile* open = OpenFileOf(file);
  if (open == nullptr) return ErrorInvalidHandle;
  open->position = position;
  return std::nullopt;
}

Failure SetEndOfFile(const Handle& file) {
  FakeFileSystem& fileSystem = Machine().fileSystem;
  FakeFileSystem::OpenFile* open = OpenFileOf(file);
  if (open == nullptr) return ErrorInvalidHandle;
  if (!(fake::MapGenericFileRights(open->access) & FileWriteData)) return ErrorAccessDenied;
  if (fileSystem.ChangeFails()) return fileSystem.changeFailure;
  open->file->contents.resize(open->position);
  return std::nullopt;
}

Failure FlushFileBuffers(const Handle& file) {
  FakeFileSystem& fileSystem = Machine().fileSystem;
  if (fileSystem.flushFileBuffersResult) return fileSystem.flushFileBuffersResult;
  if (OpenFileOf(file) == nullptr) return ErrorInvalidHandle;
  ++fileSystem.flushes;
  return std::nullopt;
}

}  // namespace ostrel::os
