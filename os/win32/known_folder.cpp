#include "os/known_folder.h"

#include <memory>

#include "os/win32/windows_api.h"

#include <objbase.h>
#include <shlobj.h>

namespace ostrel::os {
namespace {

struct CoTaskMemDeleter {
  void operator()(wchar_t* text) const { ::CoTaskMemFree(text); }
};

}  // namespace

HResult SHGetKnownFolderPath(const KnownFolderId& folder, std::uint32_t flags, std::u16string& path) {
  GUID id{folder.data1, folder.data2, folder.data3, {}};
  std::copy(std::begin(folder.data4), std::end(folder.data4), std::begin(id.Data4));
  wchar_t* raw = nullptr;
  HRESULT result = ::SHGetKnownFolderPath(id, flags, nullptr, &raw);
  // The buffer is the caller's to free whether the call succeeded or not.
  std::unique_ptr<wchar_t, CoTaskMemDeleter> owned(raw);
  if (SUCCEEDED(result)) path = win32::Portable(owned.get());
  return result;
}

}  // namespace ostrel::os
