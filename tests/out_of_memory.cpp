// Replaces the global operator new and the operator delete that frees what
// it allocates, for the whole test program; outside an
// OutOfMemoryInFailureHandlers they behave as the standard ones. The array
// and aligned forms stay the standard ones, which pair among themselves.
#include "out_of_memory.h"

#include <cstdlib>
#include <exception>
#include <new>

namespace ostrel {
namespace {

thread_local bool outOfMemoryInFailureHandlers = false;

// Nothing when the allocation must fail.
void* Allocate(std::size_t size) noexcept {
  if (outOfMemoryInFailureHandlers && std::current_exception()) return nullptr;
  return std::malloc(size == 0 ? 1 : size);
}

}  // namespace

OutOfMemoryInFailureHandlers::OutOfMemoryInFailureHandlers() { outOfMemoryInFailureHandlers = true; }

OutOfMemoryInFailureHandlers::~OutOfMemoryInFailureHandlers() { outOfMemoryInFailureHandlers = false; }

}  // namespace ostrel

void* operator new(std::size_t size) {
  if (void* memory = ostrel::Allocate(size)) return memory;
  throw std::bad_alloc();
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return ostrel::Allocate(size); }

void operator delete(void* memory) noexcept { std::free(memory); }

void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }

void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
