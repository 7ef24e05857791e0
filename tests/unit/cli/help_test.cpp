// The help the program prints, its manual page and its bash completion name
// the same commands and options: one changed without the others fails here.
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "cli/command_table.h"
#include "cli/help_text.h"
#include "fakes/fake_platform.h"

namespace imptherm::cli {
namespace {

// The options of each command; under "" the options that stand instead of
// a command.
using OptionSets = std::map<std::string, std::set<std::string>>;

// The lines after the line `head`, up to the first line that starts with
// `end` (an empty one for the help's sections).
std::vector<std::string> Section(const std::string& text, const std::string& head, const std::string& end = "") {
  std::istringstream in(text);
  std::vector<std::string> lines;
  bool inside = false;
  for (std::string line; std::getline(in, line);) {
    if (inside && (end.empty() ? line.empty() : line.starts_with(end))) break;
    if (inside) lines.push_back(line);
    inside = inside || line == head;
  }
  return lines;
}

std::set<std::string> Matches(const std::string& text, const std::regex& pattern) {
  std::set<std::string> found;
  for (std::sregex_iterator m(text.begin(), text.end(), pattern), end; m != end; ++m) found.insert((*m)[1]);
  return found;
}

const std::regex kOptionWord(R"((?:^|[ ,*])(-[-a-z]+))");

// A help table's terms: "  -o OUT   Where ..." gives -o.
std::set<std::string> HelpTerms(const std::vector<std::string>& rows) {
  std::set<std::string> names;
  for (const std::string& row : rows)
    if (row.starts_with("  -")) names.merge(Matches(row.substr(0, row.find("  ", 2)), kOptionWord));
  return names;
}

OptionSets FromHelp() {
  const std::string program = ProgramHelp();
  OptionSets sets{{"", HelpTerms(Section(program, "Options:"))}};
  for (const std::string& row : Section(program, "Commands:")) {
    const std::string name = row.substr(2, row.find(' ', 2) - 2);
    const CommandSpec* command = FindCommand(name);
    EXPECT_NE(command, nullptr) << row;
    if (command) sets[name] = HelpTerms(Section(CommandHelp(*command), "Options:"));
  }
  return sets;
}

// The SYNOPSIS lines: "*impthermorvane NAME* ..." for a command,
// "*impthermorvane* ..." for the options instead of one.
OptionSets FromSynopsis(const std::string& page) {
  OptionSets sets;
  static const std::regex line(R"(^\*impthermorvane( [a-z]+)?\*)");
  for (const std::string& l : Section(page, "# SYNOPSIS", "# ")) {
    std::smatch m;
    if (!std::regex_search(l, m, line)) continue;
    const std::string name = m[1].length() ? m[1].str().substr(1) : "";
    sets[name].merge(Matches(m.suffix().str(), std::regex(R"(\*(-[-a-z]+)\*)")));
  }
  return sets;
}

// COMMANDS names each command; each entry of OPTIONS says which commands
// take it, "(print, serve)", or names none when it stands instead of one.
OptionSets FromManSections(const std::string& page) {
  OptionSets sets{{"", {}}};
  for (const std::string& l : Section(page, "# COMMANDS", "# "))
    if (std::smatch m; std::regex_search(l, m, std::regex(R"(^\*([a-z]+)\*)"))) sets[m[1]];
  const std::vector<std::string> options = Section(page, "# OPTIONS", "# ");
  for (std::size_t i = 0; i + 1 < options.size(); ++i) {
    if (!options[i].starts_with("*-")) continue;
    const std::set<std::string> names = Matches(options[i], std::regex(R"(\*(-[-a-z]+)\*)"));
    std::smatch tag;
    if (!std::regex_search(options[i + 1], tag, std::regex(R"(^\t\(([a-z, ]+)\))"))) {
      sets[""].insert(names.begin(), names.end());
      continue;
    }
    std::istringstream commands(std::regex_replace(tag[1].str(), std::regex(","), " "));
    for (std::string c; commands >> c;) {
      EXPECT_TRUE(sets.contains(c)) << options[i] << " names a command that COMMANDS lacks: " << c;
      sets[c].insert(names.begin(), names.end());
    }
  }
  return sets;
}

// The words offered after the program's name, and after each command.
OptionSets FromCompletion(const std::string& script) {
  std::smatch m;
  EXPECT_TRUE(std::regex_search(script, m, std::regex(R"re(local commands="([^"]*)")re")));
  std::istringstream commands(m[1]);
  OptionSets sets;
  for (std::string c; commands >> c;) sets[c];
  EXPECT_TRUE(std::regex_search(script, m, std::regex(R"re(compgen -W "\$commands ([^"]*)")re")));
  sets[""] = Matches(m[1], kOptionWord);
  static const std::regex perCommand(R"re(\n +([a-z]+)\) options="([^"]*)")re");
  for (std::sregex_iterator c(script.begin(), script.end(), perCommand), end; c != end; ++c) {
    EXPECT_TRUE(sets.contains((*c)[1])) << (*c)[1] << " has options but is not among the commands";
    sets[(*c)[1]] = Matches((*c)[2].str(), kOptionWord);
  }
  return sets;
}

TEST(HelpTest, HelpManualPageAndCompletionNameTheSameCommandsAndOptions) {
  const OptionSets help = FromHelp();
  ASSERT_EQ(help.size(), Commands().size() + 1);
  EXPECT_TRUE(help.at("").contains("--version"));
  const std::string packaging = std::string(IMPTHERM_SOURCE_DIR) + "/packaging/";
  const std::string page = fakes::ReadFile(packaging + "man/impthermorvane.1.scd");
  EXPECT_EQ(FromSynopsis(page), help) << "the manual page's SYNOPSIS";
  EXPECT_EQ(FromManSections(page), help) << "the manual page's COMMANDS and OPTIONS";
  EXPECT_EQ(FromCompletion(fakes::ReadFile(packaging + "bash-completion/impthermorvane")), help)
      << "the bash completion";
}

// Help is asked for by the option, after any command, or by the command
// `help`; everything else is left as it was.
TEST(HelpTest, HelpIsAskedForByOptionOrCommand) {
  const struct {
    std::vector<std::string> args;
    std::string helpFor;
  } cases[] = {
      {{}, ""},
      {{"-h"}, ""},
      {{"help"}, ""},
      {{"--help", "print"}, "print"},
      {{"help", "serve"}, "serve"},
      {{"serve", "--help"}, "serve"},
      {{"preview", "job.txt", "-h"}, "preview"},
      {{"scramble", "--help"}, "scramble"},
      {{"printers", "-h"}, "printers"},
      {{"help", "--help"}, "help"},
  };
  for (const auto& c : cases) {
    auto o = ParseOptions(c.args);
    ASSERT_TRUE(o) << o.error();
    EXPECT_EQ(o->command, Options::Command::Help);
    EXPECT_EQ(o->helpFor, c.helpFor);
  }
  auto page = ParseOptions({"print", "--page", "--help"});
  ASSERT_TRUE(page) << "an option's value is its own";
  EXPECT_EQ(page->pagePath, "--help");
  auto scramble = ParseOptions({"scramble", "-x"});
  ASSERT_TRUE(scramble) << "a text may start with -";
  EXPECT_EQ(scramble->command, Options::Command::Scramble);
}

}  // namespace
}  // namespace imptherm::cli
