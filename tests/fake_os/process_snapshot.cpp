#include "os/process_snapshot.h"

#include "fake_os/fake_machine.h"

namespace ostrel::os {
namespace {

fake::FakeProcesses& Processes() { return fake::Machine().processes; }

Failure ReadEntryAt(std::size_t position, ProcessEntry& entry) {
  if (position >= Processes().running.size()) return ErrorNoMoreFiles;
  entry.processId = Processes().running[position].id;
  entry.exeFile = Processes().running[position].exeFile;
  return std::nullopt;
}

}  // namespace

Failure CreateToolhelp32Snapshot(std::uint32_t, std::uint32_t, Handle& snapshot) {
  if (Processes().snapshotFailure) return Processes().snapshotFailure;
  snapshot = Handle(fake::Machine().handles.Open([] { Processes().closed.emplace_back("snapshot"); }));
  return std::nullopt;
}

Failure Process32First(const Handle&, ProcessEntry& entry) {
  if (Processes().firstEntryFailure) return Processes().firstEntryFailure;
  Processes().snapshotPosition = 0;
  return ReadEntryAt(0, entry);
}

Failure Process32Next(const Handle&, ProcessEntry& entry) {
  std::size_t position = ++Processes().snapshotPosition;
  if (Processes().nextEntryFailsAt == position) return Processes().nextEntryFailure;
  return ReadEntryAt(position, entry);
}

}  // namespace ostrel::os
