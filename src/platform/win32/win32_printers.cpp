#include "platform/win32/win32_printers.h"

#include <windows.h>
#include <winspool.h>

#include "platform/error.h"

namespace imptherm::win32 {

std::vector<std::string> Win32Printers::List() {
  const DWORD flags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
  DWORD needed = 0, count = 0;
  ::EnumPrintersA(flags, nullptr, 4, nullptr, 0, &needed, &count);
  std::vector<std::string> names;
  if (needed == 0) return names;
  // The list may grow between the two calls; ask again with what it needs then.
  std::vector<BYTE> buf;
  for (int attempt = 0; attempt < 3; ++attempt) {
    buf.assign(needed, 0);
    if (::EnumPrintersA(flags, nullptr, 4, buf.data(), needed, &needed, &count)) break;
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) return names;
    count = 0;
  }
  const auto* info = reinterpret_cast<const PRINTER_INFO_4A*>(buf.data());
  for (DWORD i = 0; i < count; ++i)
    if (info[i].pPrinterName) names.emplace_back(info[i].pPrinterName);
  return names;
}

std::string Win32Printers::DefaultPrinter() {
  DWORD size = 0;
  ::GetDefaultPrinterA(nullptr, &size);
  if (size == 0) return {};
  std::string name(size, '\0');
  if (!::GetDefaultPrinterA(name.data(), &size)) return {};
  name.resize(size > 0 ? size - 1 : 0);
  return name;
}

// Raw jobs through the printer's device context are not in this build yet.
std::unique_ptr<RawDocument> Win32Printers::StartRawDocument(const std::string&, const std::string&) {
  throw PlatformError("the printer channel (WIN) is not available in this Windows build yet");
}

}  // namespace imptherm::win32
