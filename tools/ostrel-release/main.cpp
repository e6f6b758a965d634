// ostrel-release: makes the signing key of the update feed, signs a release
// into a feed directory and verifies a feed directory with the updater's own
// checks. Every failure is one line on standard error and a non-zero exit.
#include <algorithm>
#include <exception>
#include <iostream>
#include <map>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "foundation/failure.h"
#include "tools/ostrel-release/release_commands.h"

namespace ostrel {
namespace {

constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;

constexpr const char* Usage = R"(Usage:
  ostrel-release keygen --private KEY --public PUB
      Writes a new Ed25519 key pair: KEY (PEM, keep it secret) and PUB (64 hex
      digits, for the updater's OSTREL_RELEASE_PUBLIC_KEY). Refuses to replace
      either file.
  ostrel-release sign --key KEY --installer FILE --version VERSION --out DIR [--allow-older]
      Makes DIR a complete feed directory: release.json describing FILE,
      release.sig and a copy of FILE. Refuses what the updater would refuse:
      FILE must be a regular file named "Ostrel-Setup-", 1 to 100 of A-Z a-z
      0-9 . -, then ".exe"; VERSION a semantic version without build
      metadata. KEY must be readable by its owner only. Refuses a VERSION
      that is not newer than the release already in DIR unless --allow-older
      is given.
  ostrel-release verify --public PUB DIR
      Verifies the feed directory DIR as the updater does, with the key PUB.
  ostrel-release --help

Exit codes: 0 success, 1 refused or failed (one line on standard error),
2 a mistake in the command line.
)";

// A mistake in the command line rather than in what it names.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The options of one command: "--name value" pairs, "--name" flags, and the
// remaining positional arguments.
class CommandLine {
 public:
  CommandLine(std::string command, std::span<char*> arguments, std::vector<std::string> allowed,
              std::vector<std::string> allowedFlags = {})
      : command_(std::move(command)) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
      std::string argument = arguments[i];
      if (!argument.starts_with("--")) {
        positional_.push_back(argument);
        continue;
      }
      bool isFlag = std::find(allowedFlags.begin(), allowedFlags.end(), argument) != allowedFlags.end();
      if (!isFlag && std::find(allowed.begin(), allowed.end(), argument) == allowed.end()) {
        throw UsageError(command_ + " takes no option " + argument);
      }
      if (!isFlag && i + 1 == arguments.size()) throw UsageError(argument + " needs a value");
      if (!options_.emplace(argument, isFlag ? "" : arguments[++i]).second) {
        throw UsageError(argument + " is given twice");
      }
    }
  }

  bool Flag(const std::string& name) const { return options_.contains(name); }

  std::string Option(const std::string& name) const {
    auto option = options_.find(name);
    if (option == options_.end()) throw UsageError(command_ + " needs " + name);
    return option->second;
  }

  std::string OnlyPositional(const char* what) const {
    if (positional_.size() != 1) throw UsageError(command_ + " takes exactly one " + what);
    return positional_.front();
  }

  void NoPositional() const {
    if (!positional_.empty()) throw UsageError(command_ + " takes no argument " + positional_.front());
  }

 private:
  std::string command_;
  std::map<std::string, std::string> options_;
  std::vector<std::string> positional_;
};

void PrintRelease(const char* verb, const ReleaseMetadata& release) {
  std::cout << verb << " release " << release.version << ": " << release.file << ", " << release.size << " bytes\n";
}

int Run(std::span<char*> arguments) {
  if (arguments.empty()) throw UsageError("no command given");
  std::string command = arguments.front();
  std::span<char*> rest = arguments.subspan(1);
  if (command == "--help" || command == "-h") {
    std::cout << Usage;
  } else if (command == "keygen") {
    CommandLine line(command, rest, {"--private", "--public"});
    line.NoPositional();
    GenerateKeyFiles(line.Option("--private"), line.Option("--public"));
    std::cout << "Wrote the private key " << line.Option("--private") << " and the public key "
              << line.Option("--public") << "\n";
  } else if (command == "sign") {
    CommandLine line(command, rest, {"--key", "--installer", "--version", "--out"}, {"--allow-older"});
    line.NoPositional();
    PrintRelease("Signed", SignRelease({line.Option("--key"), line.Option("--installer"), line.Option("--version"),
                                        line.Option("--out"), line.Flag("--allow-older")}));
  } else if (command == "verify") {
    CommandLine line(command, rest, {"--public"});
    PrintRelease("Verified", VerifyFeedDirectory(line.Option("--public"), line.OnlyPositional("directory")));
  } else {
    throw UsageError("unknown command " + command);
  }
  return 0;
}

}  // namespace
}  // namespace ostrel

int main(int argc, char** argv) {
  try {
    return ostrel::Run(std::span<char*>(argv + 1, static_cast<std::size_t>(argc - 1)));
  } catch (const ostrel::UsageError& failure) {
    std::cerr << "ostrel-release: " << failure.what() << " (see ostrel-release --help)\n";
    return ostrel::ExitUsage;
  } catch (const std::exception& failure) {
    std::cerr << "ostrel-release: " << failure.what() << "\n";
  } catch (const ostrel::hresult_error&) {
    std::cerr << "ostrel-release: release.json is not a JSON object with the members the updater needs\n";
  } catch (...) {
    std::cerr << "ostrel-release: unexpected failure\n";
  }
  return ostrel::ExitFailure;
}
