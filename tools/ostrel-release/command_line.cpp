#include "tools/ostrel-release/command_line.h"

#include <algorithm>
#include <string_view>

namespace ostrel {
namespace {

bool Contains(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

CommandLine::CommandLine(std::string command, std::span<char* const> arguments, std::vector<std::string> options,
                         std::vector<std::string> flags)
    : command_(std::move(command)) {
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    std::string argument = arguments[i];
    if (!argument.starts_with("--")) {
      positional_.push_back(argument);
      continue;
    }
    std::size_t equals = argument.find('=');
    std::string name = argument.substr(0, equals);
    bool isFlag = Contains(flags, name);
    if (!isFlag && !Contains(options, name)) throw UsageError(command_ + " takes no option " + name);
    std::string value;
    if (isFlag) {
      if (equals != std::string::npos) throw UsageError(name + " takes no value");
    } else if (equals != std::string::npos) {
      value = argument.substr(equals + 1);
    } else if (i + 1 < arguments.size()) {
      value = arguments[++i];
    }
    if (!isFlag && value.empty()) throw UsageError(name + " needs a value");
    if (!given_.emplace(name, value).second) throw UsageError(name + " is given twice");
  }
}

bool CommandLine::Flag(const std::string& name) const { return given_.contains(name); }

std::string CommandLine::Option(const std::string& name) const {
  auto option = given_.find(name);
  if (option == given_.end()) throw UsageError(command_ + " needs " + name);
  return option->second;
}

std::string CommandLine::OnlyPositional(const char* what) const {
  if (positional_.size() != 1) throw UsageError(command_ + " takes exactly one " + what);
  return positional_.front();
}

void CommandLine::NoPositional() const {
  if (!positional_.empty()) throw UsageError(command_ + " takes no argument " + positional_.front());
}

bool AsksForHelp(std::span<char* const> arguments) {
  return std::any_of(arguments.begin(), arguments.end(), [](const char* argument) {
    return std::string_view(argument) == "--help" || std::string_view(argument) == "-h";
  });
}

}  // namespace ostrel
