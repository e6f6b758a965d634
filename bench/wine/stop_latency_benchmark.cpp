// Asks a running service to stop and says how long it took to report
// SERVICE_STOPPED, timed inside Wine so that no process start is counted:
//   stop_latency_benchmark SERVICE TIMEOUT-MILLISECONDS
// prints "milliseconds=N stopped=1", or "stopped=0" with the time it gave up.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>

namespace {

double MillisecondsSince(const LARGE_INTEGER& start) {
  LARGE_INTEGER now, frequency;
  ::QueryPerformanceCounter(&now);
  ::QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fputs("usage: stop_latency_benchmark SERVICE TIMEOUT-MILLISECONDS\n", stderr);
    return 2;
  }
  const double timeout = std::wcstod(argv[2], nullptr);
  SC_HANDLE manager = ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service = manager ? ::OpenServiceW(manager, argv[1], SERVICE_STOP | SERVICE_QUERY_STATUS) : nullptr;
  if (service == nullptr) {
    std::fprintf(stderr, "open service: %lu\n", ::GetLastError());
    return 1;
  }
  SERVICE_STATUS status{};
  LARGE_INTEGER start;
  ::QueryPerformanceCounter(&start);
  if (!::ControlService(service, SERVICE_CONTROL_STOP, &status)) {
    std::fprintf(stderr, "stop: %lu\n", ::GetLastError());
    return 1;
  }
  // A tight loop: the figure is the time to the first report of the stop.
  while (status.dwCurrentState != SERVICE_STOPPED && MillisecondsSince(start) < timeout) {
    if (!::QueryServiceStatus(service, &status)) {
      std::fprintf(stderr, "query: %lu\n", ::GetLastError());
      return 1;
    }
  }
  std::printf("milliseconds=%.1f stopped=%d\n", MillisecondsSince(start), status.dwCurrentState == SERVICE_STOPPED);
  ::CloseServiceHandle(service);
  ::CloseServiceHandle(manager);
  return 0;
}
