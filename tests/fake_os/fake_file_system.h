// The fake machine's file system: drive paths held in memory, each object
// with its attributes and contents. Names are matched without regard to the
// case of A to Z, "." and ".." are resolved lexically, and a bare drive
// designator names the drive's current directory. Links are not followed
// inside a path: an object below a junction is simply stored under the
// junction's name.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fake_os/fake_identity.h"
#include "os/error_code.h"
#include "os/security_descriptor.h"

namespace ostrel::fake {

struct FakeAce {
  std::uint8_t type = os::AccessAllowedAceType;
  std::uint8_t flags = 0;
  std::uint32_t mask = 0;
  os::Sid sid;
};

FakeAce Allowed(std::u16string_view sid, std::uint32_t mask, std::uint8_t flags = 0);
FakeAce Denied(std::u16string_view sid, std::uint32_t mask, std::uint8_t flags = 0);

// An object's owner and DACL, as GetNamedSecurityInfoW reports them.
struct FakeSecurity {
  std::optional<os::Sid> owner;
  // Empty for a null DACL, which grants everyone everything.
  std::optional<std::vector<FakeAce>> dacl;
  // The DACL does not inherit from the parent ("P" in SDDL).
  bool daclProtected = false;
};

// What a well-kept machine directory has: owned by Administrators, full
// control for LocalSystem and Administrators, read and execute for Users.
FakeSecurity TrustedSecurity();

struct FakeFile {
  std::uint32_t attributes = 0;
  std::string contents;
  // Where a reparse point leads, for opens that follow it.
  std::u16string linkTarget;
  FakeSecurity security = TrustedSecurity();
  // GetFileAttributesW and GetNamedSecurityInfoW fail with these, when set.
  os::ErrorCode attributesError = os::ErrorSuccess;
  os::ErrorCode securityError = os::ErrorSuccess;
};

struct FakeFileSystem {
  // A machine fresh from installation: C:\, C:\Program Files, C:\ProgramData.
  FakeFileSystem();

  // Arranging. The parent of what is added must exist.
  FakeFile& AddDirectory(std::u16string_view path);
  FakeFile& AddFile(std::u16string_view path, std::string contents = {});
  // A directory junction, or a symbolic link to a file, leading to target.
  FakeFile& AddJunction(std::u16string_view path, std::u16string_view target);
  FakeFile& AddFileLink(std::u16string_view path, std::u16string_view target);

  // The object a path names, or nullptr.
  FakeFile* Find(std::u16string_view path);

  // What a lookup of the path finds: the object, or the error a call naming
  // it meets (2 when only the last component is missing, 3 otherwise).
  struct Lookup {
    std::u16string key;
    FakeFile* file = nullptr;
    os::ErrorCode missing = os::ErrorSuccess;
  };
  Lookup Look(std::u16string_view path);

  // Objects by key: the drive designator in capitals, then each name in
  // capitals after a backslash ("C:\PROGRAMDATA"); a drive root is "C:\".
  std::map<std::u16string, FakeFile> files;
  // The current directory of each drive, by its capital letter.
  std::map<char16_t, std::u16string> currentDirectories = {{u'C', u"C:\\"}};

  // Opens that are not closed yet: this process's by handle value, those of
  // other processes by the value HoldOpen returned.
  struct OpenFile {
    std::u16string key;
    std::uint32_t access = 0;
    std::uint32_t shareMode = 0;
  };
  std::map<std::uintptr_t, OpenFile> openFiles;
  // Another process opens the object and keeps it open until the returned
  // value is erased from openFiles (when that process ends).
  std::uintptr_t HoldOpen(std::u16string_view path, std::uint32_t access, std::uint32_t shareMode);

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

  // Security descriptors handed out and not yet released, by value.
  std::map<std::uintptr_t, FakeSecurity> descriptors;
  std::uintptr_t nextDescriptor = 0x10000;
  // Failures to inject, each returned by the call it names.
  os::ErrorCode getAceResult = os::ErrorSuccess;
  os::ErrorCode convertSecurityDescriptorResult = os::ErrorSuccess;
  os::ErrorCode getFileInformationResult = os::ErrorSuccess;
  os::ErrorCode writeFileResult = os::ErrorSuccess;
  os::ErrorCode flushFileBuffersResult = os::ErrorSuccess;
  // WriteFile writes at most this many bytes and reports success.
  std::optional<std::uint32_t> writeLimit;
};

}  // namespace ostrel::fake
