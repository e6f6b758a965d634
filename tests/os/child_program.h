// The program the process contract tests start. Under Windows it is the test
// child beside the test program (feed/test_child.cpp), which does what its
// command says; in the fake machine it is a file of its own, scripted to do
// the same before each start.
#pragma once

#include <string>
#include <string_view>

#include "os/process.h"

#ifdef _WIN32
#include "feed/test_child.h"
#else
#include "fake_os/fake_machine.h"
#endif

namespace ostrel::os {

#ifdef _WIN32

inline std::u16string ChildPath() { return test::TestChildPath(); }

inline void ArrangeChild(std::u16string_view) {}

#else

inline std::u16string ChildPath() {
  constexpr std::u16string_view path = u"C:\\ProgramData\\ostrel_test_child.exe";
  if (fake::Machine().fileSystem.Find(path) == nullptr) fake::Machine().fileSystem.AddFile(path);
  return std::u16string(path);
}

// The child's commands: "exit N" ends at once with N, "sleep MS" runs for
// MS milliseconds and ends with 0, "spawn MS" starts a copy that runs for MS
// milliseconds and ends at once with the copy's id, the next one the machine
// gives once the child itself has one.
inline void ArrangeChild(std::u16string_view command) {
  std::uint64_t number = 0;
  for (char16_t unit : command.substr(command.find(u' ') + 1)) number = number * 10 + (unit - u'0');
  fake::FakeProgram& program = fake::Machine().processes.programs[ChildPath()];
  if (command.starts_with(u"exit ")) {
    program = fake::FakeProgram{0, static_cast<std::uint32_t>(number)};
  } else if (command.starts_with(u"sleep ")) {
    program = fake::FakeProgram{number, 0};
  } else {
    program = fake::FakeProgram{0, fake::Machine().processes.nextProcessId + 4, {{ChildPath(), number}}};
  }
}

#endif

// Starts the child hidden in C:\ with the command, inheriting no handle,
// with the creation flags given besides CreateNoWindow.
inline Failure StartChild(std::u16string_view command, ProcessInformation& started, std::uint32_t creationFlags = 0) {
  ArrangeChild(command);
  std::u16string child = ChildPath();
  return CreateProcess(child, u"\"" + child + u"\" " + std::u16string(command), false, CreateNoWindow | creationFlags,
                       std::nullopt, u"C:\\", {StartfUseShowWindow, SwHide}, started);
}

}  // namespace ostrel::os
