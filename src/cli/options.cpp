#include "cli/options.h"

#include <algorithm>

#include "cli/command_table.h"

namespace imptherm::cli {

bool ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error) {
  if (args.empty()) {
    options.command = Options::Command::Help;
    return true;
  }
  if (args[0] == "--version") {
    options.command = Options::Command::Version;
    return true;
  }
  const bool helpOption = args[0] == "--help" || args[0] == "-h";
  const CommandSpec* command = FindCommand(helpOption ? "help" : args[0]);
  if (!command) {
    error = "unknown command '" + args[0] + "'";
    return false;
  }
  options.command = command->command;
  std::vector<const OptionSpec*> given;
  bool hasOperand = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      options.command = Options::Command::Help;
      options.helpFor = command->name;
      return true;
    }
    if (const OptionSpec* option = command->Find(a)) {
      std::string value;
      if (option->value) {
        if (i + 1 >= args.size()) {
          error = a + " needs a value";
          return false;
        }
        value = args[++i];
      }
      if (!option->take(value, options, error)) {
        error = a + " " + error;
        return false;
      }
      given.push_back(option);
      continue;
    }
    // A command without options takes any word as its operand (a password
    // may well start with '-').
    const bool optionLike = !command->options.empty() && (a.empty() || a[0] == '-');
    if (!command->operand || hasOperand || optionLike) {
      error = command->options.empty() ? command->missing : "unknown option '" + a + "'";
      return false;
    }
    if (!command->takeOperand(a, options, error)) return false;
    hasOperand = true;
  }
  bool complete = hasOperand || !command->operand || command->operandOptional;
  for (const OptionSpec& option : command->options)
    if (option.required && std::find(given.begin(), given.end(), &option) == given.end()) complete = false;
  if (!complete) error = command->missing;
  return complete;
}

}  // namespace imptherm::cli
