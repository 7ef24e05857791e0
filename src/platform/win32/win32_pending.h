#pragma once
// Backends this Windows build does not have yet. Each raises a plain
// PlatformError naming what is missing, so a print run that needs one ends
// with a contained error instead of doing something wrong. Each class is
// replaced by its real backend as that lands.
#include "platform/canvas.h"
#include "platform/chooser.h"
#include "platform/port.h"
#include "platform/printing.h"
#include "platform/serial.h"

namespace imptherm::win32 {

class PendingSerialPorts final : public SerialPorts {
 public:
  int OsKind() override { return 0; }
  std::unique_ptr<SerialPort> Open(const std::string& portName, bool win9xFamily) override;
  void ProcessPendingEvents() override {}
};

class PendingPortDevices final : public PortDevices {
 public:
  std::unique_ptr<PortDevice> OpenForWriting(const std::string& name) override;
};

class PendingDocuments final : public DrawnDocuments {
 public:
  Resolution PrinterResolution(const std::string& printer) override;
  std::unique_ptr<DrawnDocument> StartDocument(const std::string& printer, const std::string& title) override;
};

class PendingChooser final : public PositionChooserDialog {
 public:
  std::optional<int> Choose(const ChooserTexts& texts, int selected) override;
};

}  // namespace imptherm::win32
