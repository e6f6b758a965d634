#include "service/feed_download.h"

#include <span>
#include <vector>

#include "build_configuration.h"
#include "foundation/failure.h"
#include "os/file.h"
#include "os/http.h"
#include "os/stop_event.h"
#include "os/tick_count.h"
#include "security/protected_file.h"

namespace ostrel {
namespace {

constexpr std::u16string_view FeedFileAlphabet = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789.-";
constexpr std::u16string_view FeedDirectoryPath = u"/updates/native/";
constexpr std::u16string_view NoCacheHeader = u"Cache-Control: no-cache\r\n";
constexpr int ResolveTimeoutMilliseconds = 10000;
constexpr int ConnectTimeoutMilliseconds = 10000;
constexpr int SendTimeoutMilliseconds = 15000;
constexpr int ReceiveTimeoutMilliseconds = 15000;
constexpr std::size_t TransferBufferSize = 65536;

// The handles of one feed request. Members are destroyed in reverse order,
// so the request closes before its connection and the connection before
// the session.
struct FeedResponse {
  os::InternetHandle session;
  os::InternetHandle connection;
  os::InternetHandle request;
};

// The tick count makes every request target unique, so that no cache
// between the updater and the server can answer it.
std::u16string RequestTarget(std::u16string_view fileName) {
  std::string ticks = std::to_string(os::GetTickCount64());
  std::u16string target(FeedDirectoryPath);
  target += fileName;
  target += u"?v=";
  target.append(ticks.begin(), ticks.end());
  return target;
}

// Sends the GET and returns once a 200 response's headers have arrived.
FeedResponse RequestFeedFile(std::u16string_view fileName) {
  FeedResponse response;
  if (const os::Failure failure =
          os::WinHttpOpen(FeedUserAgent, os::WinHttpAccessTypeAutomaticProxy, 0, response.session)) {
    RaiseLastError("Open update connection", *failure);
  }
  // Without them WinHTTP would wait far longer; a failure leaves its defaults.
  (void)os::WinHttpSetTimeouts(response.session, ResolveTimeoutMilliseconds, ConnectTimeoutMilliseconds,
                               SendTimeoutMilliseconds, ReceiveTimeoutMilliseconds);
  if (const os::Failure failure =
          os::WinHttpConnect(response.session, UpdateServerHost, os::InternetDefaultHttpsPort, response.connection)) {
    RaiseLastError("Connect update server", *failure);
  }
  if (const os::Failure failure = os::WinHttpOpenRequest(response.connection, u"GET", RequestTarget(fileName),
                                                         os::WinHttpFlagSecure, response.request)) {
    RaiseLastError("Create update request", *failure);
  }
  // A redirect could lead anywhere; it is refused below as a non-200 status.
  if (const os::Failure failure = os::WinHttpSetOption(response.request, os::WinHttpOptionRedirectPolicy,
                                                       os::WinHttpOptionRedirectPolicyNever)) {
    RaiseLastError("Disable update redirects", *failure);
  }
  os::Failure failure = os::WinHttpSendRequest(response.request, NoCacheHeader);
  if (!failure) failure = os::WinHttpReceiveResponse(response.request);
  if (failure) RaiseLastError("Request update", *failure);
  std::uint32_t status = 0;
  if (const os::Failure failure =
          os::WinHttpQueryHeaders(response.request, os::WinHttpQueryStatusCode | os::WinHttpQueryFlagNumber, status)) {
    RaiseLastError("Read update status", *failure);
  }
  Require(status == os::HttpStatusOk, "Update server returned a non-success response");
  return response;
}

void WriteDownload(const os::Handle& file, std::span<const char> bytes) {
  std::uint32_t written = 0;
  const os::Failure failure = os::WriteFile(file, bytes, written);
  // A short write is no failure of the call and carries no code of its own.
  if (failure || written != bytes.size()) RaiseLastError("Write update download", failure.value_or(os::ErrorSuccess));
}

}  // namespace

std::string DownloadFeedFile(std::u16string_view fileName, std::uint64_t byteLimit,
                             std::u16string_view destinationPath) {
  Require(fileName.find_first_not_of(FeedFileAlphabet) == std::u16string_view::npos, "Invalid fixed-feed filename");
  FeedResponse response = RequestFeedFile(fileName);
  const bool toFile = !destinationPath.empty();
  // Shared with nobody while it is written.
  os::Handle file = toFile ? CreateProtectedFile(destinationPath, 0, os::FileAttributeNormal, "Create update download")
                           : os::Handle();

  std::string body;
  std::vector<char> buffer(TransferBufferSize);
  std::uint64_t total = 0;
  for (;;) {
    Require(!os::IsStopEventSet(), "Update check canceled");
    std::uint32_t read = 0;
    if (const os::Failure failure = os::WinHttpReadData(response.request, buffer, read)) {
      RaiseLastError("Read update download", *failure);
    }
    if (read == 0) break;
    total += read;
    Require(total <= byteLimit, "Update response exceeds its signed limit");
    std::span<const char> bytes(buffer.data(), read);
    if (toFile) {
      WriteDownload(file, bytes);
    } else {
      body.append(bytes.begin(), bytes.end());
    }
  }
  if (toFile) {
    if (const os::Failure failure = os::FlushFileBuffers(file)) RaiseLastError("Flush update download", *failure);
  }
  return body;
}

}  // namespace ostrel
