#include "locations/updater_locations.h"

#include "foundation/path_join.h"
#include "locations/known_folder_path.h"

namespace ostrel {

std::u16string ApplicationDirectory() { return JoinPath(KnownFolderPath(os::FolderIdProgramFiles), u"Ostrel"); }

std::u16string UpdaterDirectory() { return JoinPath(ApplicationDirectory(), u"Updater"); }

std::u16string InstalledUpdaterPath() { return JoinPath(UpdaterDirectory(), UpdaterExecutableName); }

std::u16string UpdaterDataDirectory() {
  return JoinPath(KnownFolderPath(os::FolderIdProgramData), u"OstrelNativeUpdater");
}

std::u16string BrowserExecutablePath() {
  return JoinPath(JoinPath(ApplicationDirectory(), u"Application"), u"chrome.exe");
}

std::u16string LegacyExecutablePath() { return JoinPath(ApplicationDirectory(), u"Ostrel.exe"); }

std::u16string LegacyUninstallerPath() { return JoinPath(ApplicationDirectory(), u"Uninstall Ostrel.exe"); }

std::u16string ApplyWorkerPath() { return JoinPath(UpdaterDataDirectory(), ApplyWorkerName); }

std::u16string PartialDownloadPath() { return JoinPath(UpdaterDataDirectory(), PartialDownloadName); }

std::u16string PartialDownloadReleasePath() { return JoinPath(UpdaterDataDirectory(), PartialDownloadReleaseName); }

}  // namespace ostrel
