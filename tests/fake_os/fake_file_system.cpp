#include "fake_os/fake_file_system.h"

#include <algorithm>
#include <stdexcept>

#include "os/access_rights.h"
#include "os/file.h"
#include "os/file_system.h"

namespace ostrel::fake {
namespace {

bool IsSeparator(char16_t unit) { return unit == u'\\' || unit == u'/'; }

char16_t Upper(char16_t unit) { return unit >= u'a' && unit <= u'z' ? unit - (u'a' - u'A') : unit; }

void AppendNames(std::u16string_view text, std::vector<std::u16string>& names) {
  std::size_t position = 0;
  while (position <= text.size()) {
    std::size_t end = position;
    while (end < text.size() && !IsSeparator(text[end])) ++end;
    std::u16string name(text.substr(position, end - position));
    for (char16_t& unit : name) unit = Upper(unit);
    if (name == u"..") {
      if (!names.empty()) names.pop_back();
    } else if (!name.empty() && name != u".") {
      names.push_back(name);
    }
    position = end + 1;
  }
}

std::u16string KeyOf(char16_t drive, const std::vector<std::u16string>& names, std::size_t count) {
  std::u16string key{drive, u':'};
  if (count == 0) key += u'\\';
  for (std::size_t i = 0; i < count; ++i) key += u'\\' + names[i];
  return key;
}

// Sharing looks only at the data rights of an open, generic rights mapped:
// executing counts as reading.
constexpr std::uint32_t ReadData = os::FileReadData | os::FileExecute;
constexpr std::uint32_t WriteData = os::FileWriteData | os::FileAppendData;
constexpr std::uint32_t DeleteData = os::Delete;

// Whether one open, asking for access, fits the share mode another allowed.
bool Permits(std::uint32_t shareMode, std::uint32_t access) {
  return ((access & ReadData) == 0 || (shareMode & os::FileShareRead)) &&
         ((access & WriteData) == 0 || (shareMode & os::FileShareWrite)) &&
         ((access & DeleteData) == 0 || (shareMode & os::FileShareDelete));
}

bool AsksForData(std::uint32_t access) { return (access & (ReadData | WriteData | DeleteData)) != 0; }

}  // namespace

FakeFileSystem::FakeFileSystem() {
  files[u"C:\\"] = std::make_shared<FakeFile>();
  files[u"C:\\"]->attributes = os::FileAttributeDirectory;
  AddDirectory(u"C:\\Program Files");
  // As Windows installs it, any user may create files and folders here, and
  // owns what he creates.
  constexpr std::uint8_t ToAll = os::ObjectInheritAce | os::ContainerInheritAce;
  AddDirectory(u"C:\\ProgramData").security = FakeSecurity{
      SidFromString(LocalSystemSid),
      std::vector<FakeAce>{Allowed(LocalSystemSid, os::FileAllAccess, ToAll),
                           Allowed(AdministratorsSid, os::FileAllAccess, ToAll),
                           Allowed(CreatorOwnerSid, os::GenericAll, ToAll | os::InheritOnlyAce),
                           Allowed(UsersSid, 0x1200A9, ToAll),
                           Allowed(UsersSid, 0x116, os::ContainerInheritAce)}};
}

FakeFileSystem::Lookup FakeFileSystem::Look(std::u16string_view path) {
  // Only drive paths exist on this machine.
  if (path.size() < 2 || path[1] != u':') return {std::u16string(path), nullptr, os::ErrorPathNotFound};
  char16_t drive = Upper(path[0]);
  std::vector<std::u16string> names;
  std::u16string_view rest = path.substr(2);
  if (rest.empty() || !IsSeparator(rest[0])) {
    auto current = currentDirectories.find(drive);
    if (current != currentDirectories.end()) AppendNames(std::u16string_view(current->second).substr(2), names);
  }
  AppendNames(rest, names);

  Lookup lookup{KeyOf(drive, names, names.size())};
  auto found = files.find(lookup.key);
  if (found != files.end()) {
    lookup.file = found->second.get();
    return lookup;
  }
  auto parent = names.empty() ? files.end() : files.find(KeyOf(drive, names, names.size() - 1));
  bool parentIsDirectory = parent != files.end() && (parent->second->attributes & os::FileAttributeDirectory);
  lookup.missing = parentIsDirectory ? os::ErrorFileNotFound : os::ErrorPathNotFound;
  return lookup;
}

FakeFileSystem::Lookup FakeFileSystem::LookThroughLink(std::u16string_view path) {
  Lookup lookup = Look(path);
  if (lookup.file != nullptr && (lookup.file->attributes & os::FileAttributeReparsePoint) &&
      !lookup.file->linkTarget.empty()) {
    return Look(lookup.file->linkTarget);
  }
  return lookup;
}

std::u16string FakeFileSystem::ParentKey(std::u16string_view key) {
  std::size_t separator = key.rfind(u'\\');
  // The parent of "C:\NAME" is the root "C:\".
  return std::u16string(key.substr(0, separator == 2 ? 3 : separator));
}

FakeFile* FakeFileSystem::Find(std::u16string_view path) { return Look(path).file; }

std::uint32_t FakeFileSystem::LinkCount(const FakeFile& file) const {
  return static_cast<std::uint32_t>(
      std::ranges::count_if(files, [&](const auto& name) { return name.second.get() == &file; }));
}

FakeFile& FakeFileSystem::AddFile(std::u16string_view path, std::string contents) {
  Lookup lookup = Look(path);
  if (lookup.file == nullptr && lookup.missing != os::ErrorFileNotFound) {
    throw std::logic_error("the fake file system has no parent for this path");
  }
  auto& file = files[lookup.key] = std::make_shared<FakeFile>();
  file->attributes = os::FileAttributeNormal;
  file->contents = std::move(contents);
  return *file;
}

FakeFile& FakeFileSystem::AddDirectory(std::u16string_view path) {
  FakeFile& directory = AddFile(path);
  directory.attributes = os::FileAttributeDirectory;
  return directory;
}

FakeFile& FakeFileSystem::AddJunction(std::u16string_view path, std::u16string_view target) {
  FakeFile& junction = AddDirectory(path);
  junction.attributes |= os::FileAttributeReparsePoint;
  junction.linkTarget = target;
  return junction;
}

FakeFile& FakeFileSystem::AddFileLink(std::u16string_view path, std::u16string_view target) {
  FakeFile& link = AddFile(path);
  link.attributes = os::FileAttributeReparsePoint;
  link.linkTarget = target;
  return link;
}

FakeFile& FakeFileSystem::AddHardLink(std::u16string_view path, std::u16string_view existingPath) {
  Lookup existing = Look(existingPath);
  Lookup link = Look(path);
  if (existing.file == nullptr || (existing.file->attributes & os::FileAttributeDirectory) ||
      link.missing != os::ErrorFileNotFound) {
    throw std::logic_error("the fake file system cannot link these names");
  }
  files[link.key] = files.at(existing.key);
  return *existing.file;
}

bool FakeFileSystem::SharingAllows(const FakeFile& file, std::uint32_t access, std::uint32_t shareMode) const {
  access = MapGenericFileRights(access);
  if (!AsksForData(access)) return true;
  return std::ranges::all_of(openFiles, [&](const auto& entry) {
    const OpenFile& open = entry.second;
    std::uint32_t openAccess = MapGenericFileRights(open.access);
    return open.file.get() != &file || !AsksForData(openAccess) ||
           (Permits(open.shareMode, access) && Permits(shareMode, openAccess));
  });
}

std::uintptr_t FakeFileSystem::HoldOpen(std::u16string_view path, std::uint32_t access, std::uint32_t shareMode) {
  static std::uintptr_t nextForeignOpen = 0xF0000000;
  Lookup lookup = Look(path);
  if (lookup.file == nullptr) throw std::logic_error("the fake file system has nothing to hold open here");
  if (!SharingAllows(*lookup.file, access, shareMode)) throw std::logic_error("the object is open without sharing");
  std::uintptr_t id = nextForeignOpen++;
  openFiles[id] = OpenFile{files.at(lookup.key), lookup.key, access, shareMode};
  return id;
}

}  // namespace ostrel::fake
