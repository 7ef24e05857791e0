// SiteLock: the control declares itself safe for a page's parameters and
// scripts only on the sites the administrator lists.
#include <mshtml.h>

#include <algorithm>
#include <string>
#include <vector>

#include "control/com_support.h"
#include "control/plugin_printer.h"
#include "run/site_lock.h"

namespace imptherm::control {
namespace {

constexpr wchar_t kAllowedSitesKey[] = L"SOFTWARE\\MERIDON\\ImpThermOrvane\\AllowedSites";

std::string Utf8(const wchar_t* text, int length) {
  if (length <= 0) return {};
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string out(size > 0 ? size : 0, '\0');
  if (size > 0) ::WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), size, nullptr, nullptr);
  return out;
}

void ReadPatterns(REGSAM view, std::vector<std::string>& patterns) {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kAllowedSitesKey, 0, KEY_READ | view, &key) != ERROR_SUCCESS) return;
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD nameLength = 256, type = 0, bytes = 0;
    LSTATUS status = ::RegEnumValueW(key, i, name, &nameLength, nullptr, &type, nullptr, &bytes);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) continue;
    if (type != REG_SZ || bytes == 0 || bytes > 64 * 1024) continue;
    std::wstring value(bytes / sizeof(wchar_t) + 1, L'\0');
    nameLength = 256;
    DWORD got = bytes;
    status = ::RegEnumValueW(key, i, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &got);
    if (status != ERROR_SUCCESS || type != REG_SZ) continue;
    value.resize(::wcsnlen(value.c_str(), got / sizeof(wchar_t)));
    for (std::string& p : SplitSitePatterns(Utf8(value.data(), static_cast<int>(value.size()))))
      if (std::find(patterns.begin(), patterns.end(), p) == patterns.end()) patterns.push_back(std::move(p));
  }
  ::RegCloseKey(key);
}

// Read at every question, so that a changed list counts from the next page
// on. Both registry views, whichever the control's own width: a 32-bit
// package writes below WOW6432Node on 64-bit Windows, a 64-bit package or a
// policy writes the machine's own view. 32-bit Windows has one view and
// ignores the flags: the second read finds the same patterns, which are
// not added twice.
std::vector<std::string> AllowedSitePatterns() {
  std::vector<std::string> patterns;
  ReadPatterns(KEY_WOW64_64KEY, patterns);
  ReadPatterns(KEY_WOW64_32KEY, patterns);
  return patterns;
}

std::wstring MonikerName(IMoniker* moniker) {
  std::wstring name;
  Microsoft::WRL::ComPtr<IBindCtx> context;
  if (SUCCEEDED(::CreateBindCtx(0, context.GetAddressOf()))) {
    LPOLESTR text = nullptr;
    if (SUCCEEDED(moniker->GetDisplayName(context.Get(), nullptr, &text)) && text) name = text;
    ::CoTaskMemFree(text);
  }
  return name;
}

constexpr DWORD kSafeOptions = INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;

// Which safety a container may ask of an interface: scripts call the
// automation interface, parameters reach the persistence ones.
DWORD SupportedSafety(REFIID riid) {
  if (riid == IID_IDispatch || riid == IID_IPluginPrinter) return INTERFACESAFE_FOR_UNTRUSTED_CALLER;
  if (riid == IID_IPersistPropertyBag || riid == IID_IPersistStreamInit) return INTERFACESAFE_FOR_UNTRUSTED_DATA;
  return 0;
}

}  // namespace

// The page's address: the container's moniker (Internet Explorer answers
// with the page's URL moniker), else the HTML document's URL.
std::wstring PluginPrinter::PageUrl() {
  if (!site_) return {};
  std::wstring url;
  Microsoft::WRL::ComPtr<IMoniker> moniker;
  if (SUCCEEDED(site_->GetMoniker(OLEGETMONIKER_ONLYIFTHERE, OLEWHICHMK_CONTAINER, moniker.GetAddressOf())) && moniker)
    url = MonikerName(moniker.Get());
  if (!url.empty()) return url;
  Microsoft::WRL::ComPtr<IOleContainer> container;
  Microsoft::WRL::ComPtr<IHTMLDocument2> document;
  if (SUCCEEDED(site_->GetContainer(container.GetAddressOf())) && container &&
      SUCCEEDED(container->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(document.GetAddressOf())))) {
    BSTR text = nullptr;
    if (SUCCEEDED(document->get_URL(&text)) && text) url.assign(text, ::SysStringLen(text));
    ::SysFreeString(text);
  }
  return url;
}

bool PluginPrinter::CheckSite() {
  const std::wstring url = PageUrl();
  if (SiteAllowed(Utf8(url.data(), static_cast<int>(url.size())), AllowedSitePatterns())) {
    if (siteCheck_ != SiteCheck::Refused) siteCheck_ = SiteCheck::Allowed;
    return siteCheck_ == SiteCheck::Allowed;
  }
  siteCheck_ = SiteCheck::Refused;
  refusedPage_ = url;
  safeOptions_ = 0;
  return false;
}

// ---- IObjectSafety

HRESULT PluginPrinter::GetInterfaceSafetyOptions(REFIID riid, DWORD* supported, DWORD* enabled) {
  if (!supported || !enabled) return E_POINTER;
  *supported = *enabled = 0;
  const DWORD options = SupportedSafety(riid);
  if (!options) return E_NOINTERFACE;
  return Guard([&] {
    if (!CheckSite()) return E_FAIL;
    *supported = options;
    *enabled = safeOptions_ & options;
    return S_OK;
  });
}

HRESULT PluginPrinter::SetInterfaceSafetyOptions(REFIID riid, DWORD mask, DWORD enabled) {
  const DWORD options = SupportedSafety(riid);
  if (!options) return E_NOINTERFACE;
  const DWORD wanted = mask & enabled & kSafeOptions;
  if (wanted & ~options) return E_FAIL;
  return Guard([&] {
    if (wanted && !CheckSite()) return E_FAIL;
    safeOptions_ = (safeOptions_ & ~(mask & options)) | wanted;
    return S_OK;
  });
}

}  // namespace imptherm::control
