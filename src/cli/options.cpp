#include "cli/options.h"

#include <algorithm>
#include <utility>

#include "cli/command_table.h"

namespace imptherm::cli {

Parsed<Options> ParseOptions(const std::vector<std::string>& args) {
  Options options;
  if (args.empty()) {
    options.command = Options::Command::Help;
    return options;
  }
  if (args[0] == "--version") {
    options.command = Options::Command::Version;
    return options;
  }
  const bool helpOption = args[0] == "--help" || args[0] == "-h";
  const CommandSpec* command = FindCommand(helpOption ? "help" : args[0]);
  if (!command) return ParseError{"unknown command '" + args[0] + "'"};
  options.command = command->command;
  std::vector<const OptionSpec*> given;
  bool hasOperand = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      options.command = Options::Command::Help;
      options.helpFor = command->name;
      return options;
    }
    if (const OptionSpec* option = command->Find(a)) {
      std::string value;
      if (option->value) {
        if (i + 1 >= args.size()) return ParseError{a + " needs a value"};
        value = args[++i];
      }
      if (const Refusal refused = option->take(value, options)) return ParseError{a + " " + refused->text};
      given.push_back(option);
      continue;
    }
    // A command without options takes any word as its operand (a password
    // may well start with '-').
    const bool optionLike = !command->options.empty() && (a.empty() || a[0] == '-');
    if (!command->operand || hasOperand || optionLike)
      return ParseError{command->options.empty() ? command->missing : "unknown option '" + a + "'"};
    if (Refusal refused = command->takeOperand(a, options)) return std::move(*refused);
    hasOperand = true;
  }
  bool complete = hasOperand || !command->operand || command->operandOptional;
  for (const OptionSpec& option : command->options)
    if (option.required && std::find(given.begin(), given.end(), &option) == given.end()) complete = false;
  if (!complete) return ParseError{command->missing};
  return options;
}

}  // namespace imptherm::cli
