#include "fake_os/fake_handles.h"

#include <utility>

namespace ostrel::fake {

std::uintptr_t FakeHandles::Open(std::function<void()> onClose) {
  std::uintptr_t handle = next;
  next += 4;
  open.emplace(handle, std::move(onClose));
  return handle;
}

void FakeHandles::Close(std::uintptr_t handle) {
  auto entry = open.find(handle);
  if (entry == open.end()) return;
  std::function<void()> onClose = std::move(entry->second);
  open.erase(entry);
  if (onClose) onClose();
}

}  // namespace ostrel::fake
