// Fetching a small file of the update feed (the release metadata and its
// signature) whole into memory.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "service/feed_connection.h"

namespace ostrel {

// The body of "/updates/native/<fileName>" on the connection (see
// FeedRequest), which must come with status 200 ("Update server returned a
// non-success response", see FeedRequest::RequireStatus) and be at most
// byteLimit bytes long. Raises std::runtime_error with the step that failed.
std::string DownloadFeedFile(FeedConnection& connection, std::u16string_view fileName, std::uint64_t byteLimit);

}  // namespace ostrel
