#include "cli/help_text.h"

#include <algorithm>
#include <sstream>

namespace imptherm::cli {
namespace {

constexpr std::size_t kWidth = 79;

// Words filled into lines of at most kWidth columns: the first line goes on
// after `lead` (a space between them unless it ends in one), the others start
// with `indent` spaces.
std::string Fill(const std::vector<std::string>& words, const std::string& lead, std::size_t indent) {
  std::string text = lead;
  std::size_t column = lead.size();
  bool lineEmpty = lead.empty() || lead.back() == ' ';
  for (const std::string& w : words) {
    if (!lineEmpty && column + 1 + w.size() > kWidth) {
      text += "\n" + std::string(indent, ' ');
      column = indent;
      lineEmpty = true;
    }
    if (!lineEmpty) text += ' ', ++column;
    text += w;
    column += w.size();
    lineEmpty = false;
  }
  return text + "\n";
}

std::vector<std::string> Words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

// Terms and their explanations, the explanations lined up after the longest
// term.
std::string Table(const std::vector<std::pair<std::string, std::string>>& rows) {
  std::size_t column = 0;
  for (const auto& [term, text] : rows) column = std::max(column, term.size());
  column += 4;
  std::string out;
  for (const auto& [term, text] : rows) {
    std::string lead = "  " + term;
    lead.resize(column, ' ');
    out += Fill(Words(text), lead, column);
  }
  return out;
}

// An option as the usage and the option table write it: "--port N".
std::string Term(const OptionSpec& o) { return o.value ? std::string(o.name) + " " + o.value : o.name; }

std::string Usage(const CommandSpec& command) {
  std::vector<std::string> words;
  if (command.operand)
    words.push_back(command.operandOptional ? "[" + std::string(command.operand) + "]" : command.operand);
  for (const OptionSpec& o : command.options) {
    std::string word = Term(o);
    if (!o.required) word = "[" + word + "]";
    if (o.repeats) word += "...";
    words.push_back(word);
  }
  const std::string lead = "Usage: impthermorvane " + std::string(command.name);
  return Fill(words, lead, lead.size() + 1);
}

}  // namespace

std::string ProgramHelp() {
  std::vector<std::pair<std::string, std::string>> commands, options;
  for (const CommandSpec& c : Commands()) commands.emplace_back(c.name, c.summary);
  for (const GlobalOption& o : GlobalOptions()) options.emplace_back(o.names, o.help);
  return "Usage: impthermorvane COMMAND [OPTION]...\n"
         "       impthermorvane --help | --version\n"
         "\n"
         "The print runs of the label printing control, on the command line.\n"
         "\n"
         "Commands:\n" +
         Table(commands) + "\nOptions:\n" + Table(options) + "\n" +
         Fill(Words("Exit status: 0 done, 1 bad command line, 2 parameters refused, 3 download failed, 4 output "
                    "channel message, 5 abandoned by the user, 6 error, 7 preview drawn with lines not drawn as "
                    "written."),
              "", 0);
}

std::string CommandHelp(const CommandSpec& command) {
  std::string text = Usage(command) + "\n" + Fill(Words(std::string(command.summary) + ". " + command.details), "", 0);
  if (!command.options.empty()) {
    std::vector<std::pair<std::string, std::string>> rows;
    for (const OptionSpec& o : command.options) rows.emplace_back(Term(o), o.help);
    text += "\nOptions:\n" + Table(rows);
  }
  std::string example = command.example;
  for (std::size_t at = 0; (at = example.find('\n', at)) != std::string::npos; at += 3) example.insert(at + 1, "  ");
  return text + "\nExample:\n  " + example + "\n";
}

std::string UsageHint(const std::string& commandName) {
  const CommandSpec* command = FindCommand(commandName);
  if (!command || command->command == Options::Command::Help) return "Run 'impthermorvane --help' for the commands.\n";
  return Usage(*command) + "Run 'impthermorvane " + command->name + " --help' for more.\n";
}

}  // namespace imptherm::cli
