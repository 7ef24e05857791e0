// Checks of the Win32 device backends under Wine: the system's kind, a
// serial port mapped onto one end of a pseudo-terminal pair (the other end
// mapped to a second port, read back here), and a parallel port mapped onto
// a plain file.
//
//   device_test COM_WRITER COM_READER LPT_NAME LPT_FILE
#include <windows.h>

#include <cstdio>
#include <functional>
#include <sstream>
#include <string>

#include "checks.h"
#include "common/logs.h"
#include "output/printer_queue.h"
#include "platform/error.h"
#include "platform/win32/win32_serial.h"
#include "platform/win32/win32_system.h"

using namespace imptherm;
using namespace imptherm::win32;

namespace {

void Report(const std::string& what, const std::function<std::string()>& f) {
  try {
    std::printf("%s: %s\n", what.c_str(), f().c_str());
  } catch (const PlatformError& e) {
    std::printf("%s: %s\n", what.c_str(), e.what());
  }
}

void CheckOsKind() {
  // The edges of each row of the version table.
  CheckEq(OsKindOf(1, 4, 0), 1, "Windows 95");
  CheckEq(OsKindOf(1, 4, 9), 1, "the 95 family below minor 10");
  CheckEq(OsKindOf(1, 4, 10), 5, "Windows 98");
  CheckEq(OsKindOf(1, 4, 89), 5, "the 98 range up to minor 89");
  CheckEq(OsKindOf(1, 4, 90), 4, "Windows Me");
  CheckEq(OsKindOf(1, 3, 10), 0, "the 95 family below version 4");
  CheckEq(OsKindOf(2, 3, 0), 2, "NT 3");
  CheckEq(OsKindOf(2, 4, 0), 2, "NT 4");
  CheckEq(OsKindOf(2, 3, 51), 0, "NT 3.51 is no row of the table");
  CheckEq(OsKindOf(2, 5, 0), 3, "Windows 2000");
  CheckEq(OsKindOf(2, 5, 1), 6, "Windows XP");
  CheckEq(OsKindOf(2, 5, 2), 0, "Server 2003");
  CheckEq(OsKindOf(2, 6, 1), 6, "Windows 7");
  CheckEq(OsKindOf(2, 10, 0), 3, "Windows 10");
  CheckEq(OsKindOf(0, 3, 1), 0, "Win32s");

  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  ::GetVersionExA(&info);
#pragma GCC diagnostic pop
  Win32SerialPorts ports;
  const int kind = ports.OsKind();
  std::printf("system %lu.%lu (platform %lu): OsKind %d\n", info.dwMajorVersion, info.dwMinorVersion, info.dwPlatformId,
              kind);
  CheckEq(kind, OsKindOf(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion), "OsKind of the running system");
}

// Opens the reading end of the pair as a plain port whose reads return what
// has arrived within a short while.
HANDLE OpenReader(const std::string& port) {
  const std::string path = "\\\\.\\" + port;
  HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return h;
  COMMTIMEOUTS t{};
  t.ReadIntervalTimeout = 200;
  t.ReadTotalTimeoutConstant = 2000;
  ::SetCommTimeouts(h, &t);
  // Whatever an earlier run left in the pair is not this run's job.
  ::PurgeComm(h, PURGE_RXCLEAR | PURGE_TXCLEAR);
  return h;
}

std::string ReadAll(HANDLE h, std::size_t wanted) {
  std::string got;
  char buf[4096];
  for (int idle = 0; got.size() < wanted && idle < 3;) {
    DWORD n = 0;
    if (!::ReadFile(h, buf, sizeof buf, &n, nullptr)) break;
    if (n == 0) {
      ++idle;
      continue;
    }
    got.append(buf, n);
  }
  return got;
}

void CheckSerial(const std::string& writer, const std::string& reader) {
  Win32SerialPorts ports;
  Check(ports.Open("COM99", false) == nullptr, "a port that does not exist is not opened");
  Check(ports.Open(writer + ":9600,N,8,1", false) == nullptr, "a port name with settings after it is not opened");

  HANDLE in = OpenReader(reader);
  Check(in != INVALID_HANDLE_VALUE, "the reading end " + reader + " opens");
  // Wine refuses RTS toggling, which the 95 family settings ask for: it is
  // reported, and the job goes through the NT settings, the ones Wine's
  // version numbers select anyway.
  Report("95 family settings on " + writer, [&] { return ports.Open(writer, true) ? "taken" : "refused"; });
  {
    const bool win9x = false;
    const std::string family = " (NT settings)";
    auto port = ports.Open(writer, win9x);
    Check(port != nullptr, "the mapped port " + writer + " opens and takes the settings" + family);
    if (!port) {
      if (in != INVALID_HANDLE_VALUE) ::CloseHandle(in);
      return;
    }
    // Wine lets a second opener of a device in whatever the share mode; a
    // pseudo-terminal has no modem lines and refuses RTS. What the system
    // says is shown, not judged: Windows alone can check these.
    Report("second open of " + writer + family, [&] { return ports.Open(writer, win9x) ? "opened" : "refused"; });
    Report("modem lines of " + writer + family, [&] {
      const ModemLines lines = port->ReadModemLines();
      return std::string("CTS ") + (lines.cts ? "on" : "off") + ", DSR " + (lines.dsr ? "on" : "off");
    });
    Report("RTS on " + writer + family, [&] {
      port->SetRts(true);
      port->SetRts(false);
      return "raised and dropped";
    });
    Check(!port->ClearErrorsTransmitFull(), "a fresh port's buffer is not full" + family);
    std::string job = "N\r\nA50,50,0,4,1,1,N,\"PARCEL\"\r\nP1\r\n";
    for (int c = 0; c < 256; ++c) job += static_cast<char>(c);  // every byte value, NUL included
    std::size_t sent = 0;
    for (int tries = 0; sent < job.size() && tries < 100000; ++tries) sent += port->WriteByte(job[sent]);
    CheckEq(sent, job.size(), "every byte of the job is taken one at a time" + family);
    if (in != INVALID_HANDLE_VALUE) {
      const std::string got = ReadAll(in, job.size());
      CheckEq(got.size(), job.size(), "the job's bytes arrive at the other end" + family);
      Check(got == job, "the job arrives unchanged" + family);
    }
  }
  if (in != INVALID_HANDLE_VALUE) ::CloseHandle(in);
}

void CheckWaitHook() {
  // The waits for the printer keep the thread's windows served, and a host
  // that is closing ends the run without losing its quit request.
  Win32SerialPorts ports;
  MSG msg;
  ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);  // gives the thread its queue
  ::PostThreadMessageA(::GetCurrentThreadId(), WM_APP, 0, 0);
  ports.ProcessPendingEvents();
  Check(!::PeekMessageA(&msg, nullptr, WM_APP, WM_APP, PM_REMOVE), "pending messages are dispatched during a wait");
  ::PostQuitMessage(7);
  bool abandoned = false;
  try {
    ports.ProcessPendingEvents();
  } catch (const RunAbandoned&) {
    abandoned = true;
  }
  Check(abandoned, "a quit request ends the wait as an abandoned run");
  Check(::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) && msg.wParam == 7,
        "the quit request is left for the host's own loop");
}

void CheckParallel(const std::string& name, const std::string& file) {
  Win32System system;
  RunLog log(system);
  log.SetWorkFolder(system.TempPath());
  Win32PortDevices devices;
  Check(devices.OpenForWriting("LPT9") == nullptr, "a parallel port that does not exist is not opened");
  std::string job;
  for (int i = 0; i < 10000; ++i) job += static_cast<char>('A' + i % 26);
  {
    auto device = devices.OpenForWriting(name);
    Check(device != nullptr, "the mapped parallel port " + name + " opens");
    if (!device) return;
    Check(devices.OpenForWriting(name) == nullptr, "an open parallel port is not shared");
    WriteToPortHandle(log, *device, job);
  }
  HANDLE h = ::CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  Check(h != INVALID_HANDLE_VALUE, "the file behind " + name + " can be read");
  if (h == INVALID_HANDLE_VALUE) return;
  std::string got(20000, '\0');
  DWORD n = 0;
  ::ReadFile(h, got.data(), static_cast<DWORD>(got.size()), &n, nullptr);
  ::CloseHandle(h);
  got.resize(n);
  CheckEq(got.size(), job.size(), "a 10000-byte job reaches the parallel port's file");
  Check(got == job, "the parallel port's file holds the job unchanged");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::printf("usage: device_test COM_WRITER COM_READER LPT_NAME LPT_FILE\n");
    return 2;
  }
  CheckOsKind();
  CheckSerial(argv[1], argv[2]);
  CheckWaitHook();
  CheckParallel(argv[3], argv[4]);
  std::printf("%d checks, %d failures\n", g_checks, g_failures);
  return g_failures == 0 ? 0 : 1;
}
