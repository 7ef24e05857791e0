#include "cli/printers_command.h"

#include <gtest/gtest.h>

#include "cli/options.h"
#include "fakes/fake_platform.h"

namespace imptherm::cli {
namespace {

TEST(PrintersCommandTest, ListsInSystemOrderAndMarksTheDefault) {
  fakes::FakePrinters printers;
  EXPECT_EQ(FormatPrinterList(printers), "");
  printers.names = {"Bureau", "etiq-Zebra-Quai", "Zebra-Reserve"};
  EXPECT_EQ(FormatPrinterList(printers), "  Bureau\n  etiq-Zebra-Quai\n  Zebra-Reserve\n");
  printers.defaultPrinter = "etiq-Zebra-Quai";
  EXPECT_EQ(FormatPrinterList(printers), "  Bureau\n* etiq-Zebra-Quai\n  Zebra-Reserve\n");
}

TEST(PrintersCommandTest, TheCommandTakesNoArguments) {
  Options options;
  std::string error;
  EXPECT_TRUE(ParseOptions({"printers"}, options, error));
  EXPECT_EQ(options.command, Options::Command::Printers);
  EXPECT_FALSE(ParseOptions({"printers", "zebra"}, options, error));
  EXPECT_EQ(error, "printers takes no arguments");
}

}  // namespace
}  // namespace imptherm::cli
