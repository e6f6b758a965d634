// Running out of memory just as a failure is raised: while an
// OutOfMemoryInFailureHandlers lives, every allocation its thread makes
// through the global operator new while handling a failure (inside a catch
// block) fails with std::bad_alloc. What runs before the failure allocates as
// usual, so the failure arrives with its message built.
#pragma once

namespace ostrel {

class OutOfMemoryInFailureHandlers {
 public:
  OutOfMemoryInFailureHandlers();
  ~OutOfMemoryInFailureHandlers();
  OutOfMemoryInFailureHandlers(const OutOfMemoryInFailureHandlers&) = delete;
  OutOfMemoryInFailureHandlers& operator=(const OutOfMemoryInFailureHandlers&) = delete;
};

}  // namespace ostrel
