#include "platform/win32/win32_printers.h"

#include <windows.h>
#include <winspool.h>

#include <algorithm>
#include <utility>

#include "platform/error.h"
#include "platform/win32/win32_handles.h"

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

namespace {

// The escape that hands bytes to the printer past the driver's drawing.
constexpr int kPassThrough = 19;
// What one escape carries at most: its count is 16 bits and the whole
// buffer stays below 65000 bytes.
constexpr std::size_t kMaxEscapeData = 64998;

class Win32RawDocument final : public RawDocument {
 public:
  explicit Win32RawDocument(UniqueDc dc) : dc_(std::move(dc)) {}
  ~Win32RawDocument() override {
    if (!ended_) ::AbortDoc(dc_.get());
  }

  void Write(const std::string& bytes) override {
    for (std::size_t pos = 0; pos < bytes.size(); pos += kMaxEscapeData) {
      const std::size_t n = std::min(kMaxEscapeData, bytes.size() - pos);
      // The driver learns the length from the count in front of the data.
      std::string buffer(2 + n, '\0');
      buffer[0] = static_cast<char>(n & 0xFF);
      buffer[1] = static_cast<char>((n >> 8) & 0xFF);
      buffer.replace(2, n, bytes, pos, n);
      // A refused escape means the bytes never reached the printer: that is
      // reported rather than taken for delivered.
      if (::Escape(dc_.get(), kPassThrough, 0, buffer.data(), nullptr) <= 0)
        throw PlatformError("the printer did not take the job's bytes");
    }
  }

  // The spooler has the job once EndDoc returns; what the printer does
  // with it is not followed here.
  std::string End() override {
    if (ended_) return "";
    ended_ = true;
    const bool pageEnded = ::EndPage(dc_.get()) > 0;
    if (::EndDoc(dc_.get()) <= 0 || !pageEnded) throw PlatformError("the printer did not end the document");
    return "";
  }

 private:
  UniqueDc dc_;
  bool ended_ = false;
};

}  // namespace

std::unique_ptr<RawDocument> Win32Printers::StartRawDocument(const std::string& printer, const std::string& title) {
  UniqueDc dc(::CreateDCA(nullptr, printer.c_str(), nullptr, nullptr));
  if (!dc) throw PlatformError("cannot open the printer " + printer);
  DOCINFOA info{};
  info.cbSize = sizeof info;
  info.lpszDocName = title.c_str();
  if (::StartDocA(dc.get(), &info) <= 0) throw PlatformError("the printer " + printer + " did not start the document");
  if (::StartPage(dc.get()) <= 0) {
    ::AbortDoc(dc.get());
    throw PlatformError("the printer " + printer + " did not start the page");
  }
  return std::make_unique<Win32RawDocument>(std::move(dc));
}

}  // namespace imptherm::win32
