#include "platform/posix/terminal_proxy_dialog.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <iostream>
#include <sstream>

namespace imptherm::posix {
namespace {

// Plays the person at the terminal: typed lines go to standard input, what
// the dialog prints is collected.
class TerminalDialogTest : public ::testing::Test {
 protected:
  TerminalDialogTest() : out_(std::tmpfile()), saved_(std::cin.rdbuf()) {}
  ~TerminalDialogTest() override {
    std::cin.rdbuf(saved_);
    std::cin.clear();
    std::fclose(out_);
  }
  std::string Show(const std::string& typed, ProxyDialogFields& fields, bool interactive = true) {
    input_.str(typed);
    input_.clear();
    std::cin.rdbuf(input_.rdbuf());
    TerminalUi ui(interactive, out_);
    TerminalProxyDialog(ui).Show(fields);
    std::string printed;
    std::rewind(out_);
    char block[4096];
    for (std::size_t n; (n = std::fread(block, 1, sizeof block, out_)) > 0;) printed.append(block, n);
    return printed;
  }
  long Count(const std::string& text, const std::string& what) {
    long n = 0;
    for (std::size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += what.size()) ++n;
    return n;
  }

  std::FILE* out_;
  std::streambuf* saved_;
  std::istringstream input_;
};

TEST_F(TerminalDialogTest, ShowsItsTextsAndTakesTheTypedFields) {
  ProxyDialogFields fields{"", "", "CORP"};
  std::string printed = Show("jean\nsecret\n\nv\n", fields);
  EXPECT_NE(printed.find("[Param\xC3\xA8tres d'authentification Proxy]"), std::string::npos);
  EXPECT_NE(printed.find("Veuillez saisir les param\xC3\xA8tres d'authentification de votre proxy :"),
            std::string::npos);
  EXPECT_NE(printed.find("Domaine : [CORP]"), std::string::npos);
  EXPECT_EQ(fields.user, "jean");
  EXPECT_EQ(fields.password, "secret");
  EXPECT_EQ(fields.domain, "CORP");
}

TEST_F(TerminalDialogTest, ValiderWantsAUserAndAPasswordThatAreNotBlank) {
  ProxyDialogFields fields;
  // Blank user: back to the user field; then an empty password: back to it.
  std::string printed = Show("   \n\n\nv\njean\n\n\nv\npw\n\nv\n", fields);
  EXPECT_EQ(Count(printed, "User : ["), 2);
  EXPECT_EQ(Count(printed, "Password : ["), 3);
  EXPECT_EQ(fields.user, "jean");
  EXPECT_EQ(fields.password, "pw");
}

TEST_F(TerminalDialogTest, AbandonnerAsksAndNoKeepsTheDialogOpen) {
  ProxyDialogFields fields{"old", "oldpw", ""};
  std::string printed = Show("\n\n\na\nn\nnew\n\n\na\no\n", fields);
  EXPECT_EQ(Count(printed, "Confirmez-vous l'abandon de la saisie des param\xC3\xA8tres d'authentification du proxy ?"),
            2);
  EXPECT_EQ(fields.user, "new");  // abandoned, but the fields count as they stand
  EXPECT_EQ(fields.password, "oldpw");
}

TEST_F(TerminalDialogTest, NobodyToAnswerShowsNothingAndChangesNothing) {
  ProxyDialogFields fields{"", "", "CORP"};
  EXPECT_EQ(Show("jean\nsecret\n\nv\n", fields, false), "");
  EXPECT_EQ(fields.user, "");
  EXPECT_EQ(fields.domain, "CORP");
}

TEST_F(TerminalDialogTest, ALoneDashEmptiesAFieldThePageFilled) {
  ProxyDialogFields fields{"", "", "CORP"};
  std::string printed = Show("jean\nsecret\n-\nv\n", fields);
  EXPECT_NE(printed.find("Domaine : [CORP]  (Entr\xC3\xA9"
                         "e : garder, - : vider)"),
            std::string::npos)
      << printed;
  EXPECT_EQ(fields.domain, "");
  EXPECT_EQ(fields.user, "jean");
}

TEST_F(TerminalDialogTest, EndOfInputClosesTheDialog) {
  ProxyDialogFields fields;
  Show("jean\n", fields);
  EXPECT_EQ(fields.user, "jean");
}

}  // namespace
}  // namespace imptherm::posix
