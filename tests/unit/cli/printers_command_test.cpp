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
  printers.inputs = {{"Bureau", JobInput::Neither}, {"etiq-Zebra-Quai", JobInput::Epl2}};
  const std::string bureau = "Bureau  (neither EPL2 nor raw: a page printer, labels sent to it are not printed)\n";
  EXPECT_EQ(FormatPrinterList(printers), "  " + bureau + "  etiq-Zebra-Quai  (EPL2)\n  Zebra-Reserve  (raw)\n");
  printers.defaultPrinter = "etiq-Zebra-Quai";
  EXPECT_EQ(FormatPrinterList(printers), "  " + bureau + "* etiq-Zebra-Quai  (EPL2)\n  Zebra-Reserve  (raw)\n");
}

TEST(PrintersCommandTest, TheCommandTakesNoArguments) {
  auto options = ParseOptions({"printers"});
  ASSERT_TRUE(options);
  EXPECT_EQ(options->command, Options::Command::Printers);
  auto refused = ParseOptions({"printers", "zebra"});
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error(), "printers takes no arguments");
}

}  // namespace
}  // namespace imptherm::cli
