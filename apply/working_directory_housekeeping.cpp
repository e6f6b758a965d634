#include "apply/working_directory_housekeeping.h"

#include <string>
#include <vector>

#include "apply/installer_environment.h"
#include "foundation/ascii_case.h"
#include "foundation/path_join.h"
#include "locations/updater_locations.h"
#include "os/file_listing.h"
#include "os/file_system.h"

namespace ostrel {
namespace {

constexpr std::u16string_view KeptNames[] = {StatusFileName,         StatusTemporaryName, ReleaseMetadataName,
                                             ReleaseSignatureName,   TransactionLockName, ApplyWorkerName,
                                             InstallerTemporaryName, HistoryName,         OlderHistoryName};

// The entries of the directory but "." and "..", as far as they can be
// listed.
std::vector<os::FindData> ListDirectory(std::u16string_view directory) {
  std::vector<os::FindData> entries;
  os::FindHandle search;
  os::FindData entry;
  for (os::Failure failure = os::FindFirstFileEx(JoinPath(directory, u"*"), search, entry); !failure;
       failure = os::FindNextFile(search, entry)) {
    if (entry.fileName != u"." && entry.fileName != u"..") entries.push_back(entry);
  }
  return entries;
}

bool IsLink(const os::FindData& entry) { return (entry.attributes & os::FileAttributeReparsePoint) != 0; }
bool IsDirectory(const os::FindData& entry) { return (entry.attributes & os::FileAttributeDirectory) != 0; }

// A link, of a file or a directory, goes by its own name: DeleteFile and
// RemoveDirectory remove a link itself, never what it leads to.
void RemoveEntry(std::u16string_view directory, const os::FindData& entry) {
  const std::u16string path = JoinPath(directory, entry.fileName);
  if (!IsDirectory(entry)) {
    (void)os::DeleteFile(path);
    return;
  }
  if (!IsLink(entry)) EmptyDirectory(path);
  (void)os::RemoveDirectory(path);
}

bool IsKept(std::u16string_view name, std::u16string_view stagedInstaller) {
  if (EqualIgnoringAsciiCase(name, stagedInstaller)) return true;
  for (std::u16string_view kept : KeptNames) {
    if (EqualIgnoringAsciiCase(name, kept)) return true;
  }
  return false;
}

}  // namespace

void EmptyDirectory(std::u16string_view directory) {
  for (const os::FindData& entry : ListDirectory(directory)) RemoveEntry(directory, entry);
}

void RemoveOrphanedFiles(std::u16string_view stagedInstaller) {
  const std::u16string directory = UpdaterDataDirectory();
  for (const os::FindData& entry : ListDirectory(directory)) {
    if ((IsDirectory(entry) && !IsLink(entry)) || IsKept(entry.fileName, stagedInstaller)) continue;
    RemoveEntry(directory, entry);
  }
}

}  // namespace ostrel
