#include "service/feed_download.h"

#include "service/feed_request.h"

namespace ostrel {

std::string DownloadFeedFile(FeedConnection& connection, std::u16string_view fileName, std::uint64_t byteLimit) {
  FeedRequest request(connection, fileName, std::nullopt);
  request.RequireStatus({os::HttpStatusOk});
  std::string body;
  request.ReadBody(byteLimit, [&body](std::span<const char> bytes) { body.append(bytes.begin(), bytes.end()); });
  return body;
}

}  // namespace ostrel
