// Where the updater and the browser live, and the fixed names inside those
// directories. The directories are derived from the known folders at every
// use and never stored: a changed folder is seen by the next call.
#pragma once

#include <string>
#include <string_view>

namespace ostrel {

// The Windows service that runs the update cycle.
inline constexpr std::u16string_view ServiceName = u"OstrelNativeUpdater";

// In UpdaterDirectory.
inline constexpr std::u16string_view UpdaterExecutableName = u"OstrelUpdate.exe";
inline constexpr std::u16string_view HostManifestName = u"native-host.json";

// In UpdaterDataDirectory.
inline constexpr std::u16string_view TransactionLockName = u"install.lock";
inline constexpr std::u16string_view StatusFileName = u"status.json";
inline constexpr std::u16string_view StatusTemporaryName = u"status.tmp";
inline constexpr std::u16string_view ReleaseMetadataName = u"release.json";
inline constexpr std::u16string_view ReleaseSignatureName = u"release.sig";
inline constexpr std::u16string_view ReleaseMetadataTemporaryName = u"release.json.tmp";
inline constexpr std::u16string_view ReleaseSignatureTemporaryName = u"release.sig.tmp";
inline constexpr std::u16string_view ApplyWorkerName = u"OstrelApply.exe";
inline constexpr std::u16string_view PartialDownloadName = u"download.partial";
inline constexpr std::u16string_view PartialDownloadReleaseName = u"download.release.json";
// The failed verifications of a release's downloaded installer, which hold
// its next download back.
inline constexpr std::u16string_view InstallerBackoffName = u"download.backoff.json";
// The update history, and its one older generation.
inline constexpr std::u16string_view HistoryName = u"history.log";
inline constexpr std::u16string_view OlderHistoryName = u"history.old.log";

// The program-files folder joined with "Ostrel": the browser's installation.
std::u16string ApplicationDirectory();

// ApplicationDirectory joined with "Updater": the updater executable and the
// native messaging host manifest.
std::u16string UpdaterDirectory();

// UpdaterExecutableName in UpdaterDirectory: the updater at its fixed place,
// the image of the service and of every setup command.
std::u16string InstalledUpdaterPath();

// The program-data folder joined with "OstrelNativeUpdater": the updater's
// protected working directory.
std::u16string UpdaterDataDirectory();

// "Application\chrome.exe" in ApplicationDirectory: the browser itself.
std::u16string BrowserExecutablePath();

// "Ostrel.exe" and "Uninstall Ostrel.exe" in ApplicationDirectory: what an
// installation of the earlier kind leaves.
std::u16string LegacyExecutablePath();
std::u16string LegacyUninstallerPath();

// ApplyWorkerName in UpdaterDataDirectory: the copy that runs as apply worker.
std::u16string ApplyWorkerPath();

// PartialDownloadName in UpdaterDataDirectory: an installer being downloaded.
std::u16string PartialDownloadPath();
// PartialDownloadReleaseName in UpdaterDataDirectory: the exact signed
// metadata of the release whose installer download.partial holds.
std::u16string PartialDownloadReleasePath();

}  // namespace ostrel
