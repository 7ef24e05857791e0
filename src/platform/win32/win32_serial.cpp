#include "platform/win32/win32_serial.h"

#include <algorithm>
#include <utility>

#include "platform/error.h"
#include "platform/win32/win32_handles.h"

namespace imptherm::win32 {
namespace {

constexpr DWORD kBufferSize = 512;
// The size field GetVersionExA is given: the plain OSVERSIONINFOA.
constexpr DWORD kVersionInfoSize = 148;
static_assert(sizeof(OSVERSIONINFOA) == kVersionInfoSize);

std::string Failure(const char* what, const std::string& port) {
  return std::string(what) + " " + port + " (error " + std::to_string(::GetLastError()) + ")";
}

// The device control block is built from scratch, never read from the port
// first, so a driver's leftovers from another program cannot leak in.
DCB PortSettings(bool win9x) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  dcb.BaudRate = CBR_9600;
  dcb.fBinary = TRUE;  // Windows accepts no other value
  dcb.fParity = FALSE;
  dcb.fOutxCtsFlow = TRUE;
  dcb.fOutxDsrFlow = TRUE;
  dcb.fDtrControl = win9x ? DTR_CONTROL_ENABLE : DTR_CONTROL_HANDSHAKE;
  dcb.fDsrSensitivity = win9x ? FALSE : TRUE;
  dcb.fTXContinueOnXoff = FALSE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fErrorChar = FALSE;
  dcb.fNull = FALSE;
  dcb.fRtsControl = win9x ? RTS_CONTROL_TOGGLE : RTS_CONTROL_HANDSHAKE;
  dcb.fAbortOnError = FALSE;
  dcb.XonLim = kBufferSize / 4;
  dcb.XoffLim = kBufferSize / 4;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.XonChar = 17;
  dcb.XoffChar = 19;
  return dcb;
}

COMMTIMEOUTS PortTimeouts(bool win9x) {
  COMMTIMEOUTS t{};
  t.ReadIntervalTimeout = MAXDWORD;  // reads return at once
  // The NT family gives up on a byte after 1 ms per byte plus 1 ms; the 95
  // family waits until the byte is taken.
  t.WriteTotalTimeoutMultiplier = win9x ? 0 : 1;
  t.WriteTotalTimeoutConstant = win9x ? 0 : 1;
  return t;
}

class Win32SerialPort final : public SerialPort {
 public:
  Win32SerialPort(UniqueHandle port, UniqueHandle event, std::string name)
      : port_(std::move(port)), event_(std::move(event)), name_(std::move(name)) {}
  ~Win32SerialPort() override { ::PurgeComm(port_.get(), PURGE_TXABORT | PURGE_RXABORT); }

  ModemLines ReadModemLines() override {
    DWORD status = 0;
    if (!::GetCommModemStatus(port_.get(), &status))
      throw PlatformError(Failure("cannot read the modem lines of", name_));
    return {(status & MS_CTS_ON) != 0, (status & MS_DSR_ON) != 0};
  }

  bool ClearErrorsTransmitFull() override {
    DWORD errors = 0;
    if (!::ClearCommError(port_.get(), &errors, nullptr))
      throw PlatformError(Failure("cannot read the errors of", name_));
    return errors == CE_TXFULL;
  }

  std::size_t WriteByte(char byte) override {
    OVERLAPPED ov{};
    ov.hEvent = event_.get();
    ::ResetEvent(event_.get());
    if (!::WriteFile(port_.get(), &byte, 1, nullptr, &ov) && ::GetLastError() != ERROR_IO_PENDING)
      throw PlatformError(Failure("cannot write to", name_));
    // The port's time-outs bound the write itself; this wait only collects
    // its outcome, which a write done at once has signalled already.
    DWORD written = 0;
    if (::WaitForSingleObject(event_.get(), INFINITE) != WAIT_OBJECT_0 ||
        !::GetOverlappedResult(port_.get(), &ov, &written, FALSE))
      throw PlatformError(Failure("cannot write to", name_));
    return written;
  }

  void SetRts(bool on) override {
    if (!::EscapeCommFunction(port_.get(), on ? SETRTS : CLRRTS))
      throw PlatformError(Failure("cannot set RTS on", name_));
  }

 private:
  UniqueHandle port_;
  UniqueHandle event_;
  std::string name_;
};

class Win32PortDevice final : public PortDevice {
 public:
  explicit Win32PortDevice(UniqueHandle handle) : handle_(std::move(handle)) {}

  // Past a DWORD's worth the write is a partial one, which the caller completes.
  WriteResult Write(const char* data, std::size_t size) override {
    const auto part = static_cast<DWORD>(std::min<std::size_t>(size, MAXDWORD));
    DWORD written = 0;
    if (!::WriteFile(handle_.get(), data, part, &written, nullptr)) return {false, 0, ::GetLastError()};
    return {true, written, 0};
  }

 private:
  UniqueHandle handle_;
};

}  // namespace

int OsKindOf(DWORD platformId, DWORD major, DWORD minor) {
  if (platformId == VER_PLATFORM_WIN32_WINDOWS && major >= 4) {
    if (minor < 10) return 1;
    if (minor < 90) return 5;
    return 4;
  }
  if (platformId == VER_PLATFORM_WIN32_NT) {
    if ((major == 3 || major == 4) && minor == 0) return 2;
    if (major >= 5 && minor == 0) return 3;
    if (major >= 5 && minor == 1) return 6;
  }
  return 0;
}

int Win32SerialPorts::OsKind() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = kVersionInfoSize;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!::GetVersionExA(&info)) return 0;
#pragma GCC diagnostic pop
  return OsKindOf(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion);
}

std::unique_ptr<SerialPort> Win32SerialPorts::Open(const std::string& portName, bool win9xFamily) {
  const std::string path = "\\\\.\\" + portName;
  UniqueHandle port(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OVERLAPPED, nullptr));
  if (!port) return nullptr;
  DCB dcb = PortSettings(win9xFamily);
  COMMTIMEOUTS timeouts = PortTimeouts(win9xFamily);
  HANDLE event = nullptr;
  if (!::SetupComm(port.get(), kBufferSize, kBufferSize) || !::SetCommState(port.get(), &dcb) ||
      !::SetCommTimeouts(port.get(), &timeouts) || !::PurgeComm(port.get(), PURGE_RXCLEAR | PURGE_TXCLEAR) ||
      (event = ::CreateEventA(nullptr, TRUE, FALSE, nullptr)) == nullptr)
    return nullptr;
  return std::make_unique<Win32SerialPort>(std::move(port), UniqueHandle(event), portName);
}

void Win32SerialPorts::ProcessPendingEvents() {
  MSG msg;
  while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      ::PostQuitMessage(static_cast<int>(msg.wParam));
      throw RunAbandoned("the host is closing");
    }
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
  // A waiting printer may take minutes: leave the processor to the others.
  ::Sleep(1);
}

std::unique_ptr<PortDevice> Win32PortDevices::OpenForWriting(const std::string& name) {
  UniqueHandle handle(::CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!handle) return nullptr;
  return std::make_unique<Win32PortDevice>(std::move(handle));
}

}  // namespace imptherm::win32
