// ostrel-release: makes the signing key of the update feed, signs a release
// into a feed directory and verifies a feed directory with the updater's own
// checks. Every failure is one line on standard error and a non-zero exit.
#include <algorithm>
#include <exception>
#include <iostream>
#include <span>
#include <string>

#include "foundation/failure.h"
#include "tools/ostrel-release/command_line.h"
#include "tools/ostrel-release/release_commands.h"
#include "tools/ostrel-release/release_signing.h"

namespace ostrel {
namespace {

constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;

using Arguments = std::span<char* const>;

// One command: its command line after "ostrel-release ", what it does in
// lines indented by six spaces, and how it runs.
struct Command {
  const char* name;
  const char* synopsis;
  const char* description;
  void (*run)(Arguments arguments);
};

constexpr const char* Footer = R"(
Options take their value as "--option VALUE" or "--option=VALUE".
Exit codes: 0 success, 1 refused or failed (one line on standard error),
2 a mistake in the command line.
)";

const Command& FindCommand(const std::string& name);
std::string ToolHelp();

std::string CommandHelp(const Command& command) {
  return std::string("Usage:\n  ostrel-release ") + command.synopsis + "\n" + command.description + Footer;
}

void PrintFingerprint(const Ed25519PublicKey& publicKey) {
  std::cout << "Public key fingerprint (SHA-256): " << PublicKeyFingerprint(publicKey) << "\n";
}

void PrintRelease(const char* verb, const ReleaseMetadata& release) {
  std::cout << verb << " release " << release.version << ": " << release.file << ", " << release.size << " bytes\n";
}

void Keygen(Arguments arguments) {
  CommandLine line("keygen", arguments, {"--private", "--public"});
  line.NoPositional();
  Ed25519PublicKey publicKey = GenerateKeyFiles(line.Option("--private"), line.Option("--public"));
  std::cout << "Wrote the private key " << line.Option("--private") << " and the public key "
            << line.Option("--public") << "\n";
  PrintFingerprint(publicKey);
}

void Sign(Arguments arguments) {
  CommandLine line("sign", arguments, {"--key", "--installer", "--version", "--out"},
                   {"--allow-older", "--allow-name-without-version"});
  line.NoPositional();
  PrintRelease("Signed", SignRelease({line.Option("--key"), line.Option("--installer"), line.Option("--version"),
                                      line.Option("--out"), line.Flag("--allow-older"),
                                      line.Flag("--allow-name-without-version")}));
}

void Verify(Arguments arguments) {
  CommandLine line("verify", arguments, {"--public"});
  std::string directory = line.OnlyPositional("directory");
  Ed25519PublicKey publicKey = ReadPublicKeyFile(line.Option("--public"));
  PrintRelease("Verified", VerifyFeedDirectory(publicKey, directory));
  PrintFingerprint(publicKey);
}

void Help(Arguments arguments) {
  if (arguments.size() > 1) throw UsageError("help takes at most one command");
  std::cout << (arguments.empty() ? ToolHelp() : CommandHelp(FindCommand(arguments.front())));
}

constexpr Command Commands[] = {
    {"keygen", "keygen --private KEY --public PUB",
     R"(      Writes a new Ed25519 key pair: KEY (PEM, keep it secret) and PUB (64 hex
      digits, for the updater's OSTREL_RELEASE_PUBLIC_KEY), and prints the
      public key's fingerprint: the SHA-256 of its 32 bytes, in hex. Refuses
      to replace either file.
)",
     Keygen},
    {"sign",
     "sign --key KEY --installer FILE --version VERSION --out DIR\n"
     "                      [--allow-name-without-version] [--allow-older]",
     R"(      Makes DIR a complete feed directory: release.json describing FILE,
      release.sig and a copy of FILE, and adds FILE's SHA-512 and name to
      DIR/published-installers.sha512. Refuses what the updater would refuse:
      FILE must be a regular file named "Ostrel-Setup-", 1 to 100 of A-Z a-z
      0-9 . -, then ".exe"; VERSION a semantic version without build
      metadata. KEY must be readable by its owner only. Refuses a FILE name
      that DIR has published with other bytes: caches keep an installer for
      ever under its name. Refuses as well, unless told otherwise:
        --allow-name-without-version  a FILE name that does not end in
                                      VERSION and ".exe", as
                                      Ostrel-Setup-1.2.3.exe does for 1.2.3
        --allow-older                 a VERSION not newer than the release
                                      already in DIR
      A refused release leaves DIR as it was.
)",
     Sign},
    {"verify", "verify --public PUB DIR",
     R"(      Verifies the feed directory DIR as the updater does, with the key PUB,
      and prints the release and PUB's fingerprint.
)",
     Verify},
    {"help", "help [COMMAND]",
     R"(      Prints this help, or COMMAND's alone, as "COMMAND --help" does.
)",
     Help},
};

const Command& FindCommand(const std::string& name) {
  auto command = std::find_if(std::begin(Commands), std::end(Commands),
                              [&name](const Command& candidate) { return name == candidate.name; });
  if (command == std::end(Commands)) throw UsageError("unknown command " + name);
  return *command;
}

std::string ToolHelp() {
  std::string text = "Usage:\n";
  for (const Command& command : Commands) text += std::string("  ostrel-release ") + command.synopsis + "\n" + command.description;
  return text + "  ostrel-release --version\n      Prints the tool's version.\n" + Footer;
}

int Run(Arguments arguments) {
  if (arguments.empty()) throw UsageError("no command given");
  std::string name = arguments.front();
  Arguments rest = arguments.subspan(1);
  if (name == "--help" || name == "-h") {
    std::cout << ToolHelp();
  } else if (name == "--version") {
    std::cout << "ostrel-release " << OSTREL_RELEASE_TOOL_VERSION << "\n";
  } else if (const Command& command = FindCommand(name); AsksForHelp(rest)) {
    std::cout << CommandHelp(command);
  } else {
    command.run(rest);
  }
  return 0;
}

}  // namespace
}  // namespace ostrel

int main(int argc, char** argv) {
  try {
    return ostrel::Run(ostrel::Arguments(argv + 1, static_cast<std::size_t>(argc - 1)));
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
