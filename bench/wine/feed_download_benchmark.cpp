// Downloads one file of the local HTTPS feed into a file under Wine and says
// how long it took and the process's peak working set:
//   feed_download_benchmark updater NAME SIZE DESTINATION
//     the updater's own feed request (asynchronous WinHTTP, the stop
//     tested at every read), its body written to the file as the installer
//     download writes it;
//   feed_download_benchmark bare NAME SIZE DESTINATION
//     the ceiling: a bare WinHTTP read-and-write loop with the same buffer
//     size and the same file flags, and nothing else.
#include <windows.h>
#include <psapi.h>
#include <winhttp.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "os/stop_event.h"
#include "service/feed_request.h"

namespace {

constexpr DWORD BufferSize = 65536;

HANDLE OpenDestination(const std::wstring& destination) {
  HANDLE file = ::CreateFileW(destination.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file != INVALID_HANDLE_VALUE) ::SetEndOfFile(file);
  return file;
}

bool UpdaterDownload(const std::wstring& name, std::uint64_t size, const std::wstring& destination) {
  HANDLE file = OpenDestination(destination);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  // A connection of its own, as the bare loop opens one.
  ostrel::FeedConnection connection;
  ostrel::FeedRequest request(connection, reinterpret_cast<const char16_t*>(name.c_str()), std::nullopt);
  request.ReadBody(size, [&](std::span<const char> bytes) {
    DWORD written = 0;
    ok = ok && ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
  });
  ok = ok && ::FlushFileBuffers(file);
  ::CloseHandle(file);
  return ok;
}

bool BareDownload(const std::wstring& name, const std::wstring& destination) {
  HINTERNET session = ::WinHttpOpen(L"bench", WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, nullptr, nullptr, 0);
  HINTERNET connection = ::WinHttpConnect(session, L"localhost", INTERNET_DEFAULT_HTTPS_PORT, 0);
  std::wstring target = L"/updates/native/" + name;
  HINTERNET request = ::WinHttpOpenRequest(connection, L"GET", target.c_str(), nullptr, nullptr, nullptr,
                                           WINHTTP_FLAG_SECURE);
  HANDLE file = OpenDestination(destination);
  bool ok = request && file != INVALID_HANDLE_VALUE &&
            ::WinHttpSendRequest(request, nullptr, 0, nullptr, 0, 0, 0) && ::WinHttpReceiveResponse(request, nullptr);
  std::vector<char> buffer(BufferSize);
  DWORD read = 0;
  DWORD written = 0;
  while (ok && ::WinHttpReadData(request, buffer.data(), BufferSize, &read) && read > 0) {
    ok = ::WriteFile(file, buffer.data(), read, &written, nullptr) && written == read;
  }
  ok = ok && ::FlushFileBuffers(file);
  ::CloseHandle(file);
  ::WinHttpCloseHandle(request);
  ::WinHttpCloseHandle(connection);
  ::WinHttpCloseHandle(session);
  return ok;
}

double Seconds(LARGE_INTEGER start, LARGE_INTEGER end) {
  LARGE_INTEGER frequency;
  ::QueryPerformanceFrequency(&frequency);
  return static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 5) {
    std::fputs("usage: feed_download_benchmark updater|bare NAME SIZE DESTINATION\n", stderr);
    return 2;
  }
  // As in the service, whose every wait on the network also watches the stop.
  (void)ostrel::os::CreateStopEvent();
  const std::wstring mode = argv[1];
  const std::wstring name = argv[2];
  const std::uint64_t size = std::wcstoull(argv[3], nullptr, 10);
  const std::wstring destination = argv[4];
  LARGE_INTEGER start;
  LARGE_INTEGER end;
  ::QueryPerformanceCounter(&start);
  if (!(mode == L"bare" ? BareDownload(name, destination) : UpdaterDownload(name, size, destination))) return 1;
  ::QueryPerformanceCounter(&end);
  PROCESS_MEMORY_COUNTERS memory{};
  ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof memory);
  std::printf("seconds=%.3f peak_working_set=%llu\n", Seconds(start, end),
              static_cast<unsigned long long>(memory.PeakWorkingSetSize));
  return 0;
}
