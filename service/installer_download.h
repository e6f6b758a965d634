// Bringing a release's installer into download.partial, continuing where an
// earlier transfer of the same release was cut.
#pragma once

#include <string_view>

#include "release/release_metadata.h"
#include "service/feed_connection.h"

namespace ostrel {

// Leaves in download.partial the installer of the release whose exact
// signed "release.json" bytes are given, fetched on the connection and
// verified against the signed size and digest (VerifyInstaller). The file is
// continued with a range request when download.release.json beside it holds
// exactly these bytes and it is no longer than the signed size. It starts
// again from the first byte when it belongs to no such record, or when the
// server answers the range with 200 (its whole body is then taken) or with a
// Content-Range that does not start where asked or ends beyond the signed
// size. Any other status fails as FeedRequest::RequireStatus says and keeps
// the file for the next attempt, as a cut transfer does, and as a transfer
// that ends quietly short of the signed size does ("Update download ended
// early"). Nothing beyond the signed size is ever written. An installer
// that fails its verification, except by a stop request, is forgotten, so
// the next download starts from zero, and holds the release back
// (RecordInstallerFailure); one that passes clears that record. Raises
// std::runtime_error with the step that failed (see FeedRequest; "Create
// update download", "Write update download", "Flush update download" with
// the system's code).
void DownloadVerifiedInstaller(FeedConnection& connection, const ReleaseMetadata& release, std::string_view metadata);

// Deletes download.partial and its record, as far as they can be deleted.
void ForgetPartialDownload();

}  // namespace ostrel
