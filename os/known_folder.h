// The shell's known folders.
#pragma once

#include <cstdint>
#include <string>

#include "os/error_code.h"

namespace ostrel::os {

// A KNOWNFOLDERID, laid out like a GUID.
struct KnownFolderId {
  std::uint32_t data1;
  std::uint16_t data2;
  std::uint16_t data3;
  std::uint8_t data4[8];

  friend bool operator==(const KnownFolderId&, const KnownFolderId&) = default;
};

// {905E63B6-C1BF-494E-B29C-65B732D3D21A}
inline constexpr KnownFolderId FolderIdProgramFiles = {
    0x905E63B6, 0xC1BF, 0x494E, {0xB2, 0x9C, 0x65, 0xB7, 0x32, 0xD3, 0xD2, 0x1A}};
// {62AB5D82-FDC1-4DC3-A9DD-070D1D495D97}
inline constexpr KnownFolderId FolderIdProgramData = {
    0x62AB5D82, 0xFDC1, 0x4DC3, {0xA9, 0xDD, 0x07, 0x0D, 0x1D, 0x49, 0x5D, 0x97}};

inline constexpr std::uint32_t KfFlagDefault = 0x0;

// SHGetKnownFolderPath(folder, flags, no token): copies the folder's path
// and releases the system's buffer with CoTaskMemFree, on failure as well.
[[nodiscard]] HResult SHGetKnownFolderPath(const KnownFolderId& folder, std::uint32_t flags, std::u16string& path);

}  // namespace ostrel::os
