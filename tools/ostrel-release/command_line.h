// The options and arguments of one ostrel-release command, read the way
// command-line tools read them: "--name value" or "--name=value", "--name"
// for a flag, and everything else positional.
#pragma once

#include <map>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace ostrel {

// A mistake in the command line rather than in what it names.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class CommandLine {
 public:
  // Fails with a UsageError on an option the command does not take, an
  // option without its value, a flag given one, or an option given twice.
  CommandLine(std::string command, std::span<char* const> arguments, std::vector<std::string> options,
              std::vector<std::string> flags = {});

  bool Flag(const std::string& name) const;
  // The option's value; fails with a UsageError when it was not given.
  std::string Option(const std::string& name) const;
  // The one positional argument; fails with a UsageError unless there is exactly one.
  std::string OnlyPositional(const char* what) const;
  // Fails with a UsageError when there is a positional argument.
  void NoPositional() const;

 private:
  std::string command_;
  std::map<std::string, std::string> given_;
  std::vector<std::string> positional_;
};

// Whether the arguments ask for help: "--help" or "-h" anywhere among them
// wins over every mistake, as people type it to find out how to fix one.
bool AsksForHelp(std::span<char* const> arguments);

}  // namespace ostrel
