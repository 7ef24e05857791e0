#include "platform/posix/terminal_chooser.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <iostream>
#include <sstream>

#include "fakes/fake_platform.h"
#include "sheet/position_chooser.h"

namespace imptherm::posix {
namespace {

// The chooser's texts as the module's string table holds them.
ChooserTexts Texts() {
  fakes::FakeResources r;
  auto s = [&](int id) { return r.LoadString(id).value_or(""); };
  return {s(kChooserCaptionId), s(kChooserPrintId), s(kChooserAbandonId),
          s(kChooserAdviceId),  s(kChooserTopId),   s(kChooserBottomId)};
}

// A terminal whose person types `typed`; what it shows is kept.
class TerminalChooserTest : public ::testing::Test {
 protected:
  ~TerminalChooserTest() override {
    std::cin.rdbuf(saved_);
    if (out_) std::fclose(out_);
    std::free(buffer_);
  }
  std::optional<int> Choose(bool interactive, const std::string& typed, int unattended = 1) {
    input_.str(typed);
    saved_ = std::cin.rdbuf(input_.rdbuf());
    out_ = ::open_memstream(&buffer_, &size_);
    TerminalUi ui(interactive, out_);
    TerminalChooser chooser(ui, unattended);
    return chooser.Choose(Texts(), PositionChooserPicture{}, 1);
  }
  std::string Shown() {
    std::fflush(out_);
    return std::string(buffer_, size_);
  }

 private:
  std::istringstream input_;
  std::streambuf* saved_ = nullptr;
  std::FILE* out_ = nullptr;
  char* buffer_ = nullptr;
  std::size_t size_ = 0;
};

TEST(ChooserPicture, ShowsTheTextsTheGridAndTheSelectedSlot) {
  const std::string p = ChooserPicture(Texts(), 3);
  const std::size_t haut = p.find("HAUT"), bas = p.find("BAS"), one = p.find(" 1 "), three = p.find("[3]");
  ASSERT_NE(haut, std::string::npos);
  ASSERT_NE(bas, std::string::npos);
  ASSERT_NE(three, std::string::npos);
  EXPECT_LT(haut, one);
  EXPECT_LT(three, bas);
  EXPECT_LT(one, p.find(" 2 "));
  EXPECT_LT(p.find(" 2 "), three);
  EXPECT_LT(three, p.find(" 4 "));
  EXPECT_EQ(p.find("[1]"), std::string::npos);
  EXPECT_EQ(p.rfind("Positionnement 1\xE8re \xE9tiquette\n", 0), 0u);
  EXPECT_NE(p.find("Imprimer"), std::string::npos);
  EXPECT_EQ(p.find("&Imprimer"), std::string::npos);
  EXPECT_NE(p.find("Abandonner"), std::string::npos);
  // "HAUT" and "BAS" end at the grid's right edge.
  const std::size_t lineStart = p.rfind('\n', haut) + 1;
  EXPECT_EQ(haut + 4 - lineStart, std::string("  +---------+---------+").size());
}

TEST_F(TerminalChooserTest, EnterPrintsFromTheSelectedSlot) {
  EXPECT_EQ(Choose(true, "\n"), 1);
  EXPECT_NE(Shown().find("[1]"), std::string::npos);
}

TEST_F(TerminalChooserTest, DigitsSelectAndOthersAreIgnored) {
  EXPECT_EQ(Choose(true, "4\n9\nx\n2\n\n"), 2);
  const std::string shown = Shown();
  EXPECT_NE(shown.find("[4]"), std::string::npos);
  EXPECT_NE(shown.rfind("[2]"), std::string::npos);
  EXPECT_GT(shown.rfind("[2]"), shown.find("[4]"));
}

TEST_F(TerminalChooserTest, EscapeAbandons) { EXPECT_EQ(Choose(true, "3\n\x1b\n"), std::nullopt); }
TEST_F(TerminalChooserTest, QAbandons) { EXPECT_EQ(Choose(true, "Q\n"), std::nullopt); }
TEST_F(TerminalChooserTest, EndOfInputAbandons) { EXPECT_EQ(Choose(true, "3\n"), std::nullopt); }

TEST_F(TerminalChooserTest, WithNobodyTheCommandLineSlotIsTakenAtOnce) {
  EXPECT_EQ(Choose(false, "q\n", 3), 3);
  EXPECT_NE(Shown().find("[3]"), std::string::npos);
  // Shown to a UTF-8 terminal.
  EXPECT_NE(Shown().find("premi\xC3\xA8re"), std::string::npos);
}

}  // namespace
}  // namespace imptherm::posix
