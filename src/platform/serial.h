#pragma once
#include <cstdint>
#include <memory>
#include <string>

namespace imptherm {

struct ModemLines {
  bool cts = false;
  bool dsr = false;
};

// One serial port, open and configured for one job. Destroying it aborts
// and drops whatever is still queued in either direction, then closes it.
// Failures of the device raise PlatformError.
class SerialPort {
 public:
  virtual ~SerialPort() = default;
  virtual ModemLines ReadModemLines() = 0;
  // Reads and clears the port's error flags; true when the only one set is
  // "transmit buffer full".
  virtual bool ClearErrorsTransmitFull() = 0;
  // Offers one byte to the port under its write time-out; the number of
  // bytes it took (0 or 1).
  virtual std::size_t WriteByte(char byte) = 0;
  // Raises or drops RTS by hand (the Windows 95 family only).
  virtual void SetRts(bool on) = 0;
};

// The machine's serial ports.
class SerialPorts {
 public:
  virtual ~SerialPorts() = default;
  // The system's kind as the communications settings need it: 1, 4 and 5 are
  // the Windows 95 family, every other value takes the NT settings.
  virtual int OsKind() = 0;
  // Opens the port by its name ("COM1"), applies the fixed settings of the
  // family (9600 baud, 8 data bits, no parity, 1 stop bit, hardware
  // handshake, 512-byte buffers, the family's time-outs) and purges both
  // buffers. Nothing when the port cannot be opened or configured.
  virtual std::unique_ptr<SerialPort> Open(const std::string& portName, bool win9xFamily) = 0;
  // Called between two reads of the modem lines while waiting for the
  // printer: keeps the host responsive. Raises RunAbandoned when the person
  // asked to stop.
  virtual void ProcessPendingEvents() = 0;
};

}  // namespace imptherm
