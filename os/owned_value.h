// Ownership of a value the system hands out and must be given back: a kernel
// handle, a registry key. One scope owns it and releases it on every path.
#pragma once

#include <cstdint>
#include <utility>

namespace ostrel::os {

// Move-only owner of an opaque handle value; 0 means nothing is owned.
// Release is the system's matching call (CloseHandle, RegCloseKey), defined
// by each side of the os/ boundary.
template <void (*Release)(std::uintptr_t) noexcept>
class OwnedValue {
 public:
  OwnedValue() = default;
  explicit OwnedValue(std::uintptr_t value) noexcept : value_(value) {}
  OwnedValue(OwnedValue&& other) noexcept : value_(std::exchange(other.value_, 0)) {}
  OwnedValue& operator=(OwnedValue&& other) noexcept {
    if (this != &other) {
      Reset();
      value_ = std::exchange(other.value_, 0);
    }
    return *this;
  }
  OwnedValue(const OwnedValue&) = delete;
  OwnedValue& operator=(const OwnedValue&) = delete;
  ~OwnedValue() { Reset(); }

  // The raw value, for the os layer to pass to the system.
  std::uintptr_t value() const noexcept { return value_; }

 private:
  void Reset() noexcept {
    if (value_ != 0) Release(value_);
    value_ = 0;
  }

  std::uintptr_t value_ = 0;
};

}  // namespace ostrel::os
