#include "platform/posix/serial_ports.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/error.h"
#include "platform/posix/interrupt.h"
#include "platform/posix/port_names.h"
#include "platform/posix/unique_fd.h"

namespace imptherm::posix {
namespace {

// The input and output buffer size the port is set up with.
constexpr int kBufferSize = 512;
// Bytes let into the kernel's queue ahead of the line. A Windows port takes
// a byte only once it is on its way to the wire; keeping the queue this
// short keeps the printer's handshake in control of every byte and lets the
// last bytes leave within the pause before the port is closed.
constexpr int kQueuedAhead = 16;
// The NT write time-out for one byte: 1 ms per byte plus 1 ms.
constexpr int kByteTimeoutMs = 2;
constexpr int kPollPauseMs = 2;

std::string Reason(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}

class PosixSerialPort final : public SerialPort {
 public:
  PosixSerialPort(UniqueFd fd, std::string path, bool linesAlwaysOn, bool win9x)
      : fd_(std::move(fd)), path_(std::move(path)), linesOn_(linesAlwaysOn), win9x_(win9x) {}
  ~PosixSerialPort() override { ::tcflush(fd_.get(), TCIOFLUSH); }

  ModemLines ReadModemLines() override {
    ThrowIfInterrupted();
    if (linesOn_) return {true, true};
    int status = 0;
    if (::ioctl(fd_.get(), TIOCMGET, &status) != 0)
      throw PlatformError(Reason("cannot read the modem lines of", path_));
    return {(status & TIOCM_CTS) != 0, (status & TIOCM_DSR) != 0};
  }

  // The kernel keeps no transmit-full flag: a queue that reached the buffer
  // size the port was set up with counts as full.
  bool ClearErrorsTransmitFull() override { return QueuedBytes() >= kBufferSize; }

  std::size_t WriteByte(char byte) override {
    // The Windows 95 family has no write time-out: wait until taken.
    const int timeoutMs = win9x_ ? -1 : kByteTimeoutMs;
    for (int waited = 0;; waited += kPollPauseMs) {
      ThrowIfInterrupted();
      pollfd p{fd_.get(), POLLOUT, 0};
      if (QueuedBytes() < kQueuedAhead) {
        const ssize_t n = ::write(fd_.get(), &byte, 1);
        if (n == 1) return 1;
        if (n < 0 && errno != EAGAIN && errno != EINTR) throw PlatformError(Reason("cannot write to", path_));
      } else {
        p.fd = -1;  // the queue drains at the line's pace: just pause
      }
      if (timeoutMs >= 0 && waited >= timeoutMs) return 0;
      if (::poll(&p, 1, kPollPauseMs) > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)))
        throw PlatformError("the device " + path_ + " went away");
    }
  }

  void SetRts(bool on) override {
    if (linesOn_) return;
    int rts = TIOCM_RTS;
    if (::ioctl(fd_.get(), on ? TIOCMBIS : TIOCMBIC, &rts) != 0)
      throw PlatformError(Reason("cannot set RTS on", path_));
  }

 private:
  // What the kernel still holds for the line; pseudo-terminals say 0.
  int QueuedBytes() const {
    int queued = 0;
    return ::ioctl(fd_.get(), TIOCOUTQ, &queued) == 0 ? queued : 0;
  }

  UniqueFd fd_;
  std::string path_;
  bool linesOn_;
  bool win9x_;
};

bool Configure(int fd, bool linesAlwaysOn) {
  termios t{};
  if (::tcgetattr(fd, &t) != 0) return false;
  ::cfmakeraw(&t);
  // 8 data bits, no parity, 1 stop bit; CTS holds the output back and RTS
  // follows the input buffer; the carrier line is not waited for.
  t.c_cflag &= ~(CSIZE | PARENB | CSTOPB | HUPCL);
  t.c_cflag |= CS8 | CREAD | CLOCAL | CRTSCTS;
  t.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
  t.c_cc[VMIN] = 0;  // reads return at once
  t.c_cc[VTIME] = 0;
  if (::cfsetispeed(&t, B9600) != 0 || ::cfsetospeed(&t, B9600) != 0) return false;
  if (::tcsetattr(fd, TCSANOW, &t) != 0) return false;
  if (!linesAlwaysOn) {
    int dtr = TIOCM_DTR;
    if (::ioctl(fd, TIOCMBIS, &dtr) != 0) return false;
  }
  return ::tcflush(fd, TCIOFLUSH) == 0;
}

class PosixPortDevice final : public PortDevice {
 public:
  explicit PosixPortDevice(UniqueFd fd) : fd_(std::move(fd)) {}

  WriteResult Write(const char* data, std::size_t size) override {
    for (;;) {
      const ssize_t n = ::write(fd_.get(), data, size);
      if (n >= 0) return {true, static_cast<std::size_t>(n), 0};
      if (errno != EINTR) return {false, 0, static_cast<unsigned long>(errno)};
      ThrowIfInterrupted();
    }
  }

 private:
  UniqueFd fd_;
};

}  // namespace

std::unique_ptr<SerialPort> PosixSerialPorts::Open(const std::string& portName, bool win9xFamily) {
  const auto device = MapPortName(system_, portName, "COM");
  if (!device) return nullptr;
  UniqueFd fd(::open(device->path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!fd) return nullptr;
  // Not shared: a second opener is refused while the job runs.
  if (!::isatty(fd.get()) || ::ioctl(fd.get(), TIOCEXCL) != 0 || !Configure(fd.get(), device->linesAlwaysOn))
    return nullptr;
  return std::make_unique<PosixSerialPort>(std::move(fd), device->path, device->linesAlwaysOn, win9xFamily);
}

void PosixSerialPorts::ProcessPendingEvents() {
  ThrowIfInterrupted();
  system_.Sleep(kPollPauseMs);
}

std::unique_ptr<PortDevice> PosixPortDevices::OpenForWriting(const std::string& name) {
  const auto device = MapPortName(system_, name, "LPT");
  if (!device) return nullptr;
  for (;;) {
    // Appending changes nothing for a device, and a plain file standing in
    // for one keeps the jobs already in it.
    UniqueFd fd(::open(device->path.c_str(), O_WRONLY | O_APPEND | O_NOCTTY | O_CLOEXEC));
    if (fd) {
      if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return nullptr;
      return std::make_unique<PosixPortDevice>(std::move(fd));
    }
    if (errno != EINTR) return nullptr;
    // A FIFO waits here for its reader; Ctrl-C ends the wait.
    ThrowIfInterrupted();
  }
}

}  // namespace imptherm::posix
