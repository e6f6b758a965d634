// The one difference of the Wine integration build. Under Wine every process
// runs as one ordinary user who also owns every file, so the updater rightly
// refuses to act there. This build reports that user as LocalSystem wherever
// a SID is read (token user, object owner, ACE trustee), and every check
// then runs on what Wine reports exactly as the product runs it. Product
// builds never compile this file: the build configuration refuses it
// together with a release key, and a test looks for the mark below in the
// product executable.
#include <cstdint>
#include <vector>

#include "os/win32/sid_buffer.h"

namespace ostrel::os::win32 {
namespace {

[[gnu::used]] constexpr char IntegrationBuildMark[] =
    "OSTREL WINE INTEGRATION BUILD: the process user is reported as LocalSystem";

// The user of this process's token, read without the boundary, which would
// report it as LocalSystem already.
std::vector<std::uint8_t> ProcessUser() {
  HANDLE token = nullptr;
  std::vector<std::uint8_t> buffer(512);
  DWORD size = 0;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  bool read = ::GetTokenInformation(token, TokenUser, buffer.data(), static_cast<DWORD>(buffer.size()), &size);
  ::CloseHandle(token);
  if (!read) return {};
  return CopySid(reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid).bytes;
}

Sid LocalSystem() {
  std::vector<std::uint8_t> bytes(SECURITY_MAX_SID_SIZE);
  DWORD size = static_cast<DWORD>(bytes.size());
  ::CreateWellKnownSid(WinLocalSystemSid, nullptr, bytes.data(), &size);
  bytes.resize(size);
  return Sid{bytes};
}

}  // namespace

Sid ReportedSid(PSID sid) {
  static const std::vector<std::uint8_t> processUser = ProcessUser();
  Sid reported = CopySid(sid);
  return reported.bytes == processUser ? LocalSystem() : reported;
}

}  // namespace ostrel::os::win32
