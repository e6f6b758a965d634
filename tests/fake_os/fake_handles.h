// The kernel handles the fake machine has handed out and not yet seen closed.
#pragma once

#include <cstdint>
#include <functional>
#include <map>

namespace ostrel::fake {

struct FakeHandles {
  // A new handle value; closing it runs onClose, so the area that opened it
  // can forget the object (release a share mode, end a lock).
  std::uintptr_t Open(std::function<void()> onClose = {});
  void Close(std::uintptr_t handle);

  std::map<std::uintptr_t, std::function<void()>> open;
  std::uintptr_t next = 0x100;
};

}  // namespace ostrel::fake
