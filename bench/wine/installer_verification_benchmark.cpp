// Verifies an installer with the updater's own VerifyInstaller under Wine,
// as the update cycle does before it stages one, and says how long it took
// and how far the process's working set grew during the verification alone:
//   installer_verification_benchmark PATH SIZE SHA512-HEX
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "state/installer_verification.h"

namespace {

PROCESS_MEMORY_COUNTERS Memory() {
  PROCESS_MEMORY_COUNTERS memory{};
  ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof memory);
  return memory;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4 || std::wcslen(argv[3]) != 128) {
    std::fputs("usage: installer_verification_benchmark PATH SIZE SHA512-HEX\n", stderr);
    return 2;
  }
  ostrel::ReleaseMetadata release;
  release.size = std::wcstoull(argv[2], nullptr, 10);
  for (std::size_t index = 0; index < release.sha512.size(); ++index) {
    const wchar_t pair[3] = {argv[3][2 * index], argv[3][2 * index + 1], 0};
    release.sha512[index] = static_cast<std::uint8_t>(std::wcstoul(pair, nullptr, 16));
  }
  const PROCESS_MEMORY_COUNTERS before = Memory();
  LARGE_INTEGER frequency;
  LARGE_INTEGER start;
  LARGE_INTEGER end;
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&start);
  ostrel::VerifyInstaller(reinterpret_cast<const char16_t*>(argv[1]), release);
  ::QueryPerformanceCounter(&end);
  const SIZE_T peak = Memory().PeakWorkingSetSize;
  std::printf("seconds=%.3f working_set_before=%llu peak_before=%llu peak_after=%llu\n",
              static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart),
              static_cast<unsigned long long>(before.WorkingSetSize),
              static_cast<unsigned long long>(before.PeakWorkingSetSize), static_cast<unsigned long long>(peak));
  return 0;
}
