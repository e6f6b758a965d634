#include "inspect/process_list.h"

#include <utility>

#include "foundation/failure.h"

namespace ostrel {

ProcessList ListProcesses() {
  os::Handle snapshot;
  if (const os::Failure failure = os::CreateToolhelp32Snapshot(os::Th32csSnapProcess, 0, snapshot)) {
    RaiseLastError("List browser processes", *failure);
  }
  ProcessList processes(1);
  if (const os::Failure failure = os::Process32First(snapshot, processes.back())) {
    RaiseLastError("Read browser process list", *failure);
  }
  for (os::ProcessEntry entry; !os::Process32Next(snapshot, entry);) processes.push_back(std::move(entry));
  return processes;
}

}  // namespace ostrel
