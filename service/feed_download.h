// Fetching one file of the update feed over HTTPS from the fixed update
// server. Nothing received is trusted here: the caller verifies it. This
// makes sure only that the request goes to the fixed server, is neither
// redirected nor answered by a cache, stays within a byte limit and stops
// when the service is told to stop.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ostrel {

// Sent with every feed request.
inline constexpr std::u16string_view FeedUserAgent = u"Ostrel Native Updater/1";

// Downloads "/updates/native/<fileName>" from the update server, port 443.
// The name may hold only ASCII letters, digits, "." and "-". A body longer
// than byteLimit bytes is refused; exactly byteLimit is accepted. With an
// empty destinationPath the body is returned; otherwise it is written to the
// file there, opened, checked and emptied by CreateProtectedFile ("Create
// update download"), and the result is empty. A failed download may leave
// that file partly written. Raises std::runtime_error with the step that
// failed.
std::string DownloadFeedFile(std::u16string_view fileName, std::uint64_t byteLimit,
                             std::u16string_view destinationPath);

}  // namespace ostrel
