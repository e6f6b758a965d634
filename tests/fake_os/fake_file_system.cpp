#include "fake_os/fake_file_system.h"

#include <stdexcept>

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

}  // namespace

FakeAce Allowed(std::u16string_view sid, std::uint32_t mask, std::uint8_t flags) {
  return FakeAce{os::AccessAllowedAceType, flags, mask, SidFromString(sid)};
}

FakeAce Denied(std::u16string_view sid, std::uint32_t mask, std::uint8_t flags) {
  return FakeAce{os::AccessDeniedAceType, flags, mask, SidFromString(sid)};
}

FakeSecurity TrustedSecurity() {
  constexpr std::uint8_t inherited = os::InheritedAce | os::ObjectInheritAce | os::ContainerInheritAce;
  return FakeSecurity{SidFromString(AdministratorsSid),
                      std::vector<FakeAce>{Allowed(LocalSystemSid, os::FileAllAccess, inherited),
                                           Allowed(AdministratorsSid, os::FileAllAccess, inherited),
                                           Allowed(UsersSid, 0x1200A9, inherited)}};
}

FakeFileSystem::FakeFileSystem() {
  files[u"C:\\"].attributes = os::FileAttributeDirectory;
  AddDirectory(u"C:\\Program Files");
  AddDirectory(u"C:\\ProgramData");
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
    lookup.file = &found->second;
    return lookup;
  }
  auto parent = names.empty() ? files.end() : files.find(KeyOf(drive, names, names.size() - 1));
  bool parentIsDirectory = parent != files.end() && (parent->second.attributes & os::FileAttributeDirectory);
  lookup.missing = parentIsDirectory ? os::ErrorFileNotFound : os::ErrorPathNotFound;
  return lookup;
}

FakeFile* FakeFileSystem::Find(std::u16string_view path) { return Look(path).file; }

FakeFile& FakeFileSystem::AddFile(std::u16string_view path, std::string contents) {
  Lookup lookup = Look(path);
  if (lookup.file == nullptr && lookup.missing != os::ErrorFileNotFound) {
    throw std::logic_error("the fake file system has no parent for this path");
  }
  FakeFile& file = files[lookup.key] = FakeFile();
  file.attributes = os::FileAttributeNormal;
  file.contents = std::move(contents);
  return file;
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

std::uintptr_t FakeFileSystem::HoldOpen(std::u16string_view path, std::uint32_t access, std::uint32_t shareMode) {
  static std::uintptr_t nextForeignOpen = 0xF0000000;
  Lookup lookup = Look(path);
  if (lookup.file == nullptr) throw std::logic_error("the fake file system has nothing to hold open here");
  std::uintptr_t id = nextForeignOpen++;
  openFiles[id] = OpenFile{lookup.key, access, shareMode};
  return id;
}

}  // namespace ostrel::fake
