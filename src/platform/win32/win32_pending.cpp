#include "platform/win32/win32_pending.h"

#include "platform/error.h"

namespace imptherm::win32 {
namespace {

[[noreturn]] void Missing(const char* what) {
  throw PlatformError(std::string(what) + " is not available in this Windows build yet");
}

}  // namespace

std::unique_ptr<SerialPort> PendingSerialPorts::Open(const std::string&, bool) { Missing("the serial port channel"); }
std::unique_ptr<PortDevice> PendingPortDevices::OpenForWriting(const std::string&) {
  Missing("the parallel port channel");
}
DrawnDocuments::Resolution PendingDocuments::PrinterResolution(const std::string&) { Missing("sheet printing"); }
std::unique_ptr<DrawnDocument> PendingDocuments::StartDocument(const std::string&, const std::string&) {
  Missing("sheet printing");
}
std::optional<int> PendingChooser::Choose(const ChooserTexts&, int) { Missing("the position chooser"); }

}  // namespace imptherm::win32
