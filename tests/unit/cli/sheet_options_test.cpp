#include <gtest/gtest.h>

#include "cli/options.h"

namespace imptherm::cli {
namespace {

TEST(SheetOptions, FirstLabelAndSheetPdfAreTaken) {
  Options o;
  std::string error;
  ASSERT_TRUE(ParseOptions({"print"}, o, error)) << error;
  EXPECT_EQ(o.firstLabel, 1);
  EXPECT_EQ(o.sheetPdf, "");
  ASSERT_TRUE(ParseOptions({"print", "--first-label", "4", "--sheet-pdf", "out.pdf"}, o, error)) << error;
  EXPECT_EQ(o.firstLabel, 4);
  EXPECT_EQ(o.sheetPdf, "out.pdf");
}

TEST(SheetOptions, BadValuesAreRefusedWithTheirReason) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{{"print", "--first-label", "0"},
                                                                                    {"print", "--first-label", "5"},
                                                                                    {"print", "--first-label", "12"},
                                                                                    {"print", "--first-label", ""},
                                                                                    {"print", "--first-label"},
                                                                                    {"print", "--sheet-pdf", ""},
                                                                                    {"print", "--sheet-pdf"}}) {
    Options o;
    std::string error;
    EXPECT_FALSE(ParseOptions(args, o, error)) << args.back();
    EXPECT_NE(error.find(args[1]), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace imptherm::cli
