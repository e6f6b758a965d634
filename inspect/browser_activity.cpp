#include "inspect/browser_activity.h"

#include <string>
#include <utility>

#include "foundation/ascii_case.h"
#include "foundation/failure.h"
#include "foundation/path_comparison.h"
#include "foundation/path_grammar.h"
#include "locations/updater_locations.h"
#include "os/access_rights.h"
#include "os/process.h"

namespace ostrel {
namespace {

// The image file name: the last name of the path, never a drive or root.
std::u16string_view ImageFileName(std::u16string_view imagePath) {
  PathParts parts = SplitPath(imagePath);
  return parts.names.empty() ? std::u16string_view() : parts.names.back();
}

// Whether the process, opened with the access, runs imagePath; one that
// cannot be opened or asked (another user's, a protected one, one that has
// just exited) does not count.
bool OpenIfRunningImage(std::uint32_t processId, std::u16string_view imagePath, std::uint32_t access,
                        os::Handle& process) {
  if (os::OpenProcess(access | os::ProcessQueryLimitedInformation, false, processId, process)) return false;
  std::u16string runningImage;
  return !os::QueryFullProcessImageName(process, 0, runningImage) && SamePath(runningImage, imagePath);
}

}  // namespace

void VisitImageProcesses(const ProcessList& processes, std::u16string_view imagePath, std::uint32_t access,
                         const std::function<bool(os::Handle)>& found) {
  const std::u16string_view imageName = ImageFileName(imagePath);
  for (const os::ProcessEntry& entry : processes) {
    os::Handle process;
    if (EqualIgnoringAsciiCase(entry.exeFile, imageName) &&
        OpenIfRunningImage(entry.processId, imagePath, access, process) && !found(std::move(process))) {
      return;
    }
  }
}

bool IsImageRunning(const ProcessList& processes, std::u16string_view imagePath) {
  bool running = false;
  VisitImageProcesses(processes, imagePath, 0, [&running](os::Handle) {
    running = true;
    return false;
  });
  return running;
}

bool IsBrowserRunning(const ProcessList& processes) { return IsImageRunning(processes, BrowserExecutablePath()); }

std::vector<os::Handle> OpenBrowserProcesses(const ProcessList& processes, std::size_t most) {
  std::vector<os::Handle> browser;
  VisitImageProcesses(processes, BrowserExecutablePath(), os::Synchronize, [&](os::Handle process) {
    browser.push_back(std::move(process));
    return browser.size() < most;
  });
  return browser;
}

}  // namespace ostrel
