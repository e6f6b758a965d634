#include "os/file.h"

#include <algorithm>

#include "fake_os/fake_machine.h"

namespace ostrel::os {
namespace {

using fake::FakeFile;
using fake::FakeFileSystem;
using fake::Machine;

constexpr std::uint32_t ReadAccess = GenericRead | GenericAll | FileReadData;
constexpr std::uint32_t WriteAccess = GenericWrite | GenericAll | FileWriteData | FileAppendData;
constexpr std::uint32_t DeleteAccess = GenericAll | Delete;

// Whether an open asking for access may share the object with an open that
// allowed sharing, in one direction.
bool Permits(std::uint32_t shareMode, std::uint32_t access) {
  return ((access & ReadAccess) == 0 || (shareMode & FileShareRead)) &&
         ((access & WriteAccess) == 0 || (shareMode & FileShareWrite)) &&
         ((access & DeleteAccess) == 0 || (shareMode & FileShareDelete));
}

bool SharingViolated(const FakeFileSystem& fileSystem, const std::u16string& key, std::uint32_t access,
                     std::uint32_t shareMode) {
  for (const auto& [handle, open] : fileSystem.openFiles) {
    if (open.key == key && !(Permits(open.shareMode, access) && Permits(shareMode, open.access))) return true;
  }
  return false;
}

FakeFileSystem::OpenFile* OpenFileOf(const Handle& file) {
  auto open = Machine().fileSystem.openFiles.find(file.value());
  return open == Machine().fileSystem.openFiles.end() ? nullptr : &open->second;
}

}  // namespace

ErrorCode CreateFile(std::u16string_view path, std::uint32_t desiredAccess, std::uint32_t shareMode,
                     std::uint32_t creationDisposition, std::uint32_t flagsAndAttributes, Handle& file) {
  FakeFileSystem& fileSystem = Machine().fileSystem;
  fileSystem.createFileCalls.push_back({std::u16string(path), desiredAccess, shareMode, creationDisposition,
                                        flagsAndAttributes});
  FakeFileSystem::Lookup lookup = fileSystem.Look(path);
  // Without FILE_FLAG_OPEN_REPARSE_POINT a link at the name is followed.
  if (lookup.file != nullptr && (lookup.file->attributes & FileAttributeReparsePoint) &&
      !(flagsAndAttributes & FileFlagOpenReparsePoint) && !lookup.file->linkTarget.empty()) {
    lookup = fileSystem.Look(lookup.file->linkTarget);
  }
  if (lookup.file == nullptr) {
    if (creationDisposition == OpenExisting || lookup.missing != ErrorFileNotFound) return lookup.missing;
    FakeFile& parent = *fileSystem.Find(lookup.key.substr(0, lookup.key.rfind(u'\\')));
    FakeFile& created = fileSystem.files[lookup.key];
    created.attributes = flagsAndAttributes & 0xFFFF;
    // A new file takes the entries its directory passes on.
    created.security = parent.security;
    lookup.file = &created;
  } else {
    // A directory is opened only with backup semantics, which the updater never asks for.
    if (lookup.file->attributes & FileAttributeDirectory) return ErrorAccessDenied;
    if (SharingViolated(fileSystem, lookup.key, desiredAccess, shareMode)) return ErrorSharingViolation;
    if (creationDisposition == CreateAlways) lookup.file->contents.clear();
  }
  std::uintptr_t handle = Machine().handles.Open();
  fileSystem.openFiles[handle] = FakeFileSystem::OpenFile{lookup.key, desiredAccess, shareMode};
  Machine().handles.open[handle] = [handle] { Machine().fileSystem.openFiles.erase(handle); };
  file = Handle(handle);
  return ErrorSuccess;
}

ErrorCode GetFileInformationByHandle(const Handle& file, FileInformation& information) {
  if (ErrorCode result = Machine().fileSystem.getFileInformationResult) return result;
  FakeFileSystem::OpenFile* open = OpenFileOf(file);
  if (open == nullptr) return ErrorInvalidHandle;
  information.attributes = Machine().fileSystem.files.at(open->key).attributes;
  return ErrorSuccess;
}

ErrorCode WriteFile(const Handle& file, std::span<const char> bytes, std::uint32_t& bytesWritten) {
  FakeFileSystem& fileSystem = Machine().fileSystem;
  if (fileSystem.writeFileResult != ErrorSuccess) return fileSystem.writeFileResult;
  FakeFileSystem::OpenFile* open = OpenFileOf(file);
  if (open == nullptr) return ErrorInvalidHandle;
  if (!(open->access & WriteAccess)) return ErrorAccessDenied;
  std::size_t count = std::min<std::size_t>(bytes.size(), fileSystem.writeLimit.value_or(UINT32_MAX));
  fileSystem.files.at(open->key).contents.append(bytes.data(), count);
  bytesWritten = static_cast<std::uint32_t>(count);
  return ErrorSuccess;
}

ErrorCode FlushFileBuffers(const Handle& file) {
  FakeFileSystem& fileSystem = Machine().fileSystem;
  if (fileSystem.flushFileBuffersResult != ErrorSuccess) return fileSystem.flushFileBuffersResult;
  if (OpenFileOf(file) == nullptr) return ErrorInvalidHandle;
  ++fileSystem.flushes;
  return ErrorSuccess;
}

}  // namespace ostrel::os
