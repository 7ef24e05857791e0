#pragma once
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/parsed.h"
#include "cli/options.h"

namespace imptherm::cli {

// Takes an option's value (empty for a flag) or an operand into Options, or
// says why the value is not one the option takes (for an option, what
// follows its name: "wants a file name").
using Refusal = std::optional<ParseError>;
using Setter = Refusal (*)(const std::string& value, Options& options);

// One option of a command: what the parser takes and what the help says of
// it, in one place so that the two cannot disagree.
struct OptionSpec {
  const char* name;             // "--port", "-o"
  const char* value = nullptr;  // what it takes, as the usage writes it ("N"); none for a flag
  const char* help = "";
  Setter take = nullptr;
  bool repeats = false;   // may be given several times
  bool required = false;  // the command refuses to run without it
};

struct CommandSpec {
  const char* name;
  Options::Command command;
  const char* summary;  // one line in the list of commands
  const char* details;  // what the command's own help adds to it
  // The one operand the command takes (nullptr: none), as the usage writes it.
  const char* operand = nullptr;
  bool operandOptional = false;
  Setter takeOperand = nullptr;
  // The error for an operand missing or too many, or a required option
  // missing.
  const char* missing = "";
  std::vector<OptionSpec> options = {};
  const char* example = "";

  const OptionSpec* Find(std::string_view option) const;
};

// The commands in the order that the help lists them.
std::span<const CommandSpec> Commands();
const CommandSpec* FindCommand(std::string_view name);

// The options that stand instead of a command.
struct GlobalOption {
  const char* names;  // "-h, --help"
  const char* help;
};
std::span<const GlobalOption> GlobalOptions();

}  // namespace imptherm::cli
