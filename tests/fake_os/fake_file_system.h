// The fake machine's file system: drive paths held in memory. Names lead to
// objects, each with its attributes, contents and security; two names may
// lead to one object (a hard link), and an open handle holds the object, not
// the name, so it follows a move and outlives a delete. Names are matched
// without regard to the case of A to Z, "." and ".." are resolved lexically,
// and a bare drive designator names the drive's current directory. Links are
// not followed inside a path: an object below a junction is simply stored
// under the junction's name.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fake_os/fake_identity.h"
#include "fake_os/fake_security.h"
#include "os/error_code.h"
#include "os/file_listing.h"

namespace ostrel::fake {

struct FakeFile {
  std::uint32_t attributes = 0;
  std::string contents;
  // Where a reparse point leads, for opens that follow it.
  std::u16string linkTarget;
  FakeSecurity security = TrustedSecurity();
  // GetFileAttributesW and GetNamedSecurityInfoW fail with these, when set.
  os::Failure attributesError;
  os::Failure securityError;
};

struct FakeFileSystem {
  // A machine fresh from installation: C:\, C:\Program Files, and
  // C:\ProgramData, where every user may create files and folders.
  FakeFileSystem();

  // Arranging. The parent of what is added must exist; what is added at an
  // existing name replaces the object there.
  FakeFile& AddDirectory(std::u16string_view path);
  FakeFile& AddFile(std::u16string_view path, std::string contents = {});
  // A directory junction, or a symbolic link to a file, leading to target.
  FakeFile& AddJunction(std::u16string_view path, std::u16string_view target);
  FakeFile& AddFileLink(std::u16string_view path, std::u16string_view target);
  // A second name for the file at existingPath.
  FakeFile& AddHardLink(std::u16string_view path, std::u16string_view existingPath);

  // The object a path names, or nullptr.
  FakeFile* Find(std::u16string_view path);
  // How many names lead to the object.
  std::uint32_t LinkCount(const FakeFile& file) const;

  // What a lookup of the path finds: the object, or the error a call naming
  // it meets (2 when only the last component is missing, 3 otherwise).
  struct Lookup {
    std::u16string key;
    FakeFile* file = nullptr;
    os::ErrorCode missing = os::ErrorSuccess;
  };
  Lookup Look(std::u16string_view path);
  // The same, except that a link at the last component is followed.
  Lookup LookThroughLink(std::u16string_view path);
  // The key of the directory holding the object of a key.
  static std::u16string ParentKey(std::u16string_view key);

  // Names by key: the drive designator in capitals, then each name in
  // capitals after a backslash ("C:\PROGRAMDATA"); a drive root is "C:\".
  std::map<std::u16string, std::shared_ptr<FakeFile>> files;
  // The current directory of each drive, by its capital letter.
  std::map<char16_t, std::u16string> currentDirectories = {{u'C', u"C:\\"}};

  // Opens that are not closed yet: this process's by handle value, those of
  // other processes by the value HoldOpen returned. An open that asked for
  // no data access (attributes, synchronisation, reading the security)
  // neither checks nor records a share mode.
  struct OpenFile {
    std::shared_ptr<FakeFile> file;
    std::u16string openedAs;  // the key the object was opened by
    std::uint32_t access = 0;
    std::uint32_t shareMode = 0;
    std::uint64_t position = 0;  // where the next read or write starts
  };
  std::map<std::uintptr_t, OpenFile> openFiles;
  // Another process opens the object and keeps it open until the returned
  // value is erased from openFiles (when that process ends).
  std::uintptr_t HoldOpen(std::u16string_view path, std::uint32_t access, std::uint32_t shareMode);
  // Whether an open of the object asking for access and allowing shareMode
  // may join the opens already made, as Windows decides with share modes.
  bool SharingAllows(const FakeFile& file, std::uint32_t access, std::uint32_t shareMode) const;

  // Searches begun by FindFirstFileExW and not yet closed, by handle value:
  // the entries each lists (names as the keys spell them, in capitals), and
  // how many it has listed.
  struct Search {
    std::vector<os::FindData> entries;
    std::size_t listed = 0;
  };
  std::map<std::uintptr_t, Search> searches;

  // Every CreateFileW, as asked.
  struct CreateFileCall {
    std::u16string path;
    std::uint32_t access = 0;
    std::uint32_t shareMode = 0;
    std::uint32_t disposition = 0;
    std::uint32_t flags = 0;
    friend bool operator==(const CreateFileCall&, const CreateFileCall&) = default;
  };
  std::vector<CreateFileCall> createFileCalls;
  int flushes = 0;

  // Every path GetFileAttributesW was asked about, in order.
  std::vector<std::u16string> attributeQueries;

  // Runs at the start of each CreateDirectoryW, with its path: what another
  // process does in the moment before the directory is created.
  std::function<void(std::u16string_view path)> beforeCreateDirectory;
  // Runs after each successful MoveFileExW, with the new name's key.
  std::function<void(const std::u16string& key)> afterMove;
  // Runs at the start of each ReadFile, with the object read.
  std::function<void(FakeFile& file)> beforeRead;

  // Every call that would change what is on disk (create, truncate, write,
  // move, copy, delete) is counted; from the count given here on, each one
  // fails with changeFailure and changes nothing, as after a crash.
  std::optional<std::size_t> failChangesFrom;
  os::ErrorCode changeFailure = os::ErrorDiskFull;
  std::size_t changes = 0;
  // Runs before each change is counted: another process acting at every
  // step of a run. It may call os/ functions; the change then goes on.
  std::function<void()> beforeChange;
  // Counts one change; true when it must fail.
  bool ChangeFails() {
    if (beforeChange) beforeChange();
    return changes++ >= failChangesFrom.value_or(SIZE_MAX);
  }

  // Security descriptors handed out and not yet released, by value.
  std::map<std::uintptr_t, FakeSecurity> descriptors;
  std::uintptr_t nextDescriptor = 0x10000;
  // Failures to inject, each returned by the call it names.
  os::Failure getAceResult;
  os::Failure convertSecurityDescriptorResult;
  os::Failure getFileInformationResult;
  os::Failure writeFileResult;
  os::Failure readFileResult;
  os::Failure flushFileBuffersResult;
  // WriteFile writes at most this many bytes and reports success.
  std::optional<std::uint32_t> writeLimit;
};

}  // namespace ostrel::fake
