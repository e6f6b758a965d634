#include "inspect/browser_activity.h"

#include <string>

#include "foundation/ascii_case.h"
#include "foundation/failure.h"
#include "foundation/path_comparison.h"
#include "foundation/path_grammar.h"
#include "locations/updater_locations.h"
#include "os/process.h"
#include "os/process_snapshot.h"

namespace ostrel {
namespace {

// The image file name: the last name of the path, never a drive or root.
std::u16string_view ImageFileName(std::u16string_view imagePath) {
  PathParts parts = SplitPath(imagePath);
  return parts.names.empty() ? std::u16string_view() : parts.names.back();
}

// A process that cannot be opened or asked (another user's, a protected
// one, one that has just exited) does not count.
bool RunsImage(std::uint32_t processId, std::u16string_view imagePath) {
  os::Handle process;
  if (os::OpenProcess(os::ProcessQueryLimitedInformation, false, processId, process)) return false;
  std::u16string runningImage;
  if (os::QueryFullProcessImageName(process, 0, runningImage)) return false;
  return SamePath(runningImage, imagePath);
}

}  // namespace

bool IsImageRunning(std::u16string_view imagePath) {
  os::Handle snapshot;
  if (const os::Failure failure = os::CreateToolhelp32Snapshot(os::Th32csSnapProcess, 0, snapshot)) {
    RaiseLastError("List browser processes", *failure);
  }
  os::ProcessEntry entry;
  if (const os::Failure failure = os::Process32First(snapshot, entry)) {
    RaiseLastError("Read browser process list", *failure);
  }
  const std::u16string_view imageName = ImageFileName(imagePath);
  // Only processes whose bare image name matches are opened at all; a later
  // entry that cannot be read ends the list.
  do {
    if (EqualIgnoringAsciiCase(entry.exeFile, imageName) && RunsImage(entry.processId, imagePath)) return true;
  } while (!os::Process32Next(snapshot, entry));
  return false;
}

bool IsBrowserRunning() { return IsImageRunning(BrowserExecutablePath()); }

}  // namespace ostrel
