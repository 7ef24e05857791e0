#include <gtest/gtest.h>

#include "cli/options.h"

namespace imptherm::cli {
namespace {

TEST(SheetOptions, FirstLabelAndSheetPdfAreTaken) {
  auto o = ParseOptions({"print"});
  ASSERT_TRUE(o) << o.error();
  EXPECT_EQ(o->firstLabel, 1);
  EXPECT_EQ(o->sheetPdf, "");
  o = ParseOptions({"print", "--first-label", "4", "--sheet-pdf", "out.pdf"});
  ASSERT_TRUE(o) << o.error();
  EXPECT_EQ(o->firstLabel, 4);
  EXPECT_EQ(o->sheetPdf, "out.pdf");
}

TEST(SheetOptions, BadValuesAreRefusedWithTheirReason) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{{"print", "--first-label", "0"},
                                                                                    {"print", "--first-label", "5"},
                                                                                    {"print", "--first-label", "12"},
                                                                                    {"print", "--first-label", ""},
                                                                                    {"print", "--first-label"},
                                                                                    {"print", "--sheet-pdf", ""},
                                                                                    {"print", "--sheet-pdf"}}) {
    auto o = ParseOptions(args);
    ASSERT_FALSE(o) << args.back();
    EXPECT_NE(o.error().find(args[1]), std::string::npos) << o.error();
  }
}

}  // namespace
}  // namespace imptherm::cli
