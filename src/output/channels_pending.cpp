// The printer, serial and parallel channels are not part of this build yet:
// selecting one ends the print run with a plain error.
#include "output/channels.h"
#include "platform/error.h"

namespace imptherm {

std::string SendToNamedPrinter(OutputContext&, const std::string&, const std::string&) {
  throw PlatformError("the printer channel (WIN) is not available yet");
}
void SendToSerialPort(OutputContext&, const std::string&, const std::string&) {
  throw PlatformError("the serial port channel (COM) is not available yet");
}
void SendToParallelPort(OutputContext&, const std::string&, const std::string&) {
  throw PlatformError("the parallel port channel (LPT) is not available yet");
}

}  // namespace imptherm
