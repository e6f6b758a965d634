// Housekeeping of the updater's working directory by the apply worker,
// which alone may do it: it holds the transaction lock, the service that
// started it has ended, and every other service instance leaves the
// directory alone while a worker is at work. Only the updater's principals
// can write there, so nothing here meets a hostile arrangement; links are
// still removed as themselves and never followed.
#pragma once

#include <string_view>

namespace ostrel {

// Removes everything in the directory, which stays: a file, or a link of
// either kind, by its own name; a directory after emptying it the same way.
// A junction or a symbolic link is removed itself, never descended into.
// What cannot be removed (a file a process still holds) stays, silently: it
// costs disk space, nothing else.
void EmptyDirectory(std::u16string_view directory);

// Removes from UpdaterDataDirectory every file and link but those named
// status.json, status.tmp, release.json, release.sig, install.lock,
// OstrelApply.exe, installer-temp and stagedInstaller (the installer the
// verified metadata names), matched without regard to case: orphaned
// installers of earlier releases and a download.partial that no download
// is writing (one that is, held without sharing deletion, stays). A
// directory is never removed: the updater makes none there but
// installer-temp. Silent as EmptyDirectory.
void RemoveOrphanedFiles(std::u16string_view stagedInstaller);

}  // namespace ostrel
