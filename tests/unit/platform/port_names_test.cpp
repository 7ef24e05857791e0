#include "platform/posix/port_names.h"

#include <gtest/gtest.h>

#include "fakes/fake_platform.h"
#include "platform/posix/serial_ports.h"

namespace imptherm::posix {
namespace {

std::string Mapped(fakes::FakeSystem& system, const std::string& name, const std::string& prefix) {
  auto device = MapPortName(system, name, prefix);
  if (!device) return "-";
  return device->path + (device->linesAlwaysOn ? " lines-on" : "");
}

TEST(PortNamesTest, PortNumbersMapToTheSystemDevicesByDefault) {
  fakes::FakeSystem system;
  EXPECT_EQ(Mapped(system, "COM1", "COM"), "/dev/ttyS0");
  EXPECT_EQ(Mapped(system, "COM10", "COM"), "/dev/ttyS9");
  EXPECT_EQ(Mapped(system, "COM256", "COM"), "/dev/ttyS255");
  EXPECT_EQ(Mapped(system, "LPT1", "LPT"), "/dev/lp0");
  EXPECT_EQ(Mapped(system, "LPT3", "LPT"), "/dev/lp2");
}

TEST(PortNamesTest, AnythingButPrefixAndNumberMapsToNothing) {
  fakes::FakeSystem system;
  for (const char* name : {"COM", "COMX", "COM1:9600", "COM1:", "COM0", "COM01", "COM257", "COM1 ", "COM-1", "COM1A",
                           "LPT1", "COM99999999999"}) {
    EXPECT_EQ(Mapped(system, name, "COM"), "-") << name;
  }
  for (const char* name : {"LPT", "LPT1:", "LPTX", "COM1"}) EXPECT_EQ(Mapped(system, name, "LPT"), "-") << name;
}

TEST(PortNamesTest, TheUsersMappingWinsAndMaySayTheLinesAreAlwaysOn) {
  fakes::FakeSystem system;
  system.env["IMPTHERM_COM1"] = "/dev/ttyUSB0";
  system.env["IMPTHERM_COM2"] = "/dev/pts/7,lines-on";
  system.env["IMPTHERM_COM3"] = ",lines-on";
  system.env["IMPTHERM_LPT1"] = "/dev/usb/lp0,lines-on";
  system.env["IMPTHERM_LPT2"] = "/dev/usb/lp1";
  EXPECT_EQ(Mapped(system, "COM1", "COM"), "/dev/ttyUSB0");
  EXPECT_EQ(Mapped(system, "COM2", "COM"), "/dev/pts/7 lines-on");
  EXPECT_EQ(Mapped(system, "COM3", "COM"), "-");
  EXPECT_EQ(Mapped(system, "COM4", "COM"), "/dev/ttyS3");
  EXPECT_EQ(Mapped(system, "LPT1", "LPT"), "/dev/usb/lp0,lines-on");
  EXPECT_EQ(Mapped(system, "LPT2", "LPT"), "/dev/usb/lp1");
}

TEST(PortNamesTest, PortsThatMapToNothingOrToMissingDevicesDoNotOpen) {
  fakes::FakeSystem system;
  system.env["IMPTHERM_COM5"] = "/nonexistent/tty";
  system.env["IMPTHERM_LPT5"] = "/nonexistent/lp";
  PosixSerialPorts serial(system);
  PosixPortDevices devices(system);
  EXPECT_EQ(serial.OsKind(), 0);
  EXPECT_EQ(serial.Open("COM1:9600", false), nullptr);
  EXPECT_EQ(serial.Open("COM5", false), nullptr);
  EXPECT_EQ(devices.OpenForWriting("LPT5"), nullptr);
  EXPECT_EQ(devices.OpenForWriting("LPT"), nullptr);
  // A plain file is not a serial port.
  fakes::TempDir dir;
  dir.Write("plain", "x");
  system.env["IMPTHERM_COM6"] = dir.path() + "plain";
  EXPECT_EQ(serial.Open("COM6", false), nullptr);
}

}  // namespace
}  // namespace imptherm::posix
