#include "service/feed_download.h"

#include "foundation/failure.h"
#include "service/feed_request.h"

namespace ostrel {

std::string DownloadFeedFile(std::u16string_view fileName, std::uint64_t byteLimit) {
  FeedRequest request(fileName, std::nullopt);
  Require(request.Status() == os::HttpStatusOk, "Update server returned a non-success response");
  std::string body;
  request.ReadBody(byteLimit, [&body](std::span<const char> bytes) { body.append(bytes.begin(), bytes.end()); });
  return body;
}

}  // namespace ostrel
