// A stand-alone host for ImpThermOrvane.ocx, run under Wine. It knows the
// control only the way a page does: by its class identifier, its type
// library and late-bound IDispatch calls; every identifier and dispatch id
// below is written out here, not taken from the control's own sources.
//
//   control_host registered     the registered control: registry, type
//                               library, properties, events, print runs
//   control_host unregistered   what unregistering must leave behind
//   control_host served PORT DIR thermal print runs on label data served on
//                               127.0.0.1:PORT; the files they wrote are
//                               copied to DIR for comparison
//   control_host proxied PORT DIR  the same print run through a proxy on
//                               127.0.0.1:PORT that wants Basic credentials,
//                               typed into the proxy dialog
#include <windows.h>

#include <objsafe.h>
#include <ocidl.h>
#include <olectl.h>
#include <urlmon.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "checks.h"
#include "screenshot.h"

namespace {

std::string Narrow(const std::wstring& w) {
  std::string s;
  for (wchar_t c : w) s += c < 256 ? static_cast<char>(c) : '?';
  return s;
}

GUID Guid(const wchar_t* text) {
  GUID g{};
  ::CLSIDFromString(const_cast<LPOLESTR>(text), &g);
  return g;
}

const GUID kLibId = Guid(L"{829C1426-1EAB-4619-827C-DAC1E385C929}");
const GUID kControlIid = Guid(L"{E73CB9AD-D1A2-41A1-84AC-C7E4DD53C394}");
const GUID kEventsIid = Guid(L"{CB4C4045-5309-479C-B696-B96BEBB23FAF}");
const GUID kClsid = Guid(L"{F0BD7B50-E791-4E1C-ADA6-989562A19877}");
constexpr wchar_t kClsidText[] = L"{F0BD7B50-E791-4E1C-ADA6-989562A19877}";

std::string RegistryText(const std::wstring& key, const wchar_t* name) {
  wchar_t buf[1024] = {};
  DWORD size = sizeof buf;
  if (::RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, nullptr, buf, &size) != ERROR_SUCCESS)
    return "<missing>";
  return Narrow(buf);
}

bool RegistryKeyExists(const std::wstring& key) {
  HKEY h = nullptr;
  if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
  ::RegCloseKey(h);
  return true;
}

// ---- late-bound calls

HRESULT Call(IDispatch* d, DISPID id, WORD flags, std::vector<VARIANT> args, VARIANT* result) {
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{args.empty() ? nullptr : args.data(), nullptr, static_cast<UINT>(args.size()), 0};
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    params.rgdispidNamedArgs = &named;
    params.cNamedArgs = 1;
  }
  EXCEPINFO ex{};
  UINT argError = 0;
  HRESULT hr = d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, &ex, &argError);
  if (ex.bstrSource) ::SysFreeString(ex.bstrSource);
  if (ex.bstrDescription) ::SysFreeString(ex.bstrDescription);
  if (ex.bstrHelpFile) ::SysFreeString(ex.bstrHelpFile);
  return hr;
}

VARIANT Get(IDispatch* d, DISPID id, HRESULT* hrOut = nullptr) {
  VARIANT v;
  ::VariantInit(&v);
  HRESULT hr = Call(d, id, DISPATCH_PROPERTYGET, {}, &v);
  if (hrOut) *hrOut = hr;
  return v;
}

HRESULT Put(IDispatch* d, DISPID id, VARIANT value) { return Call(d, id, DISPATCH_PROPERTYPUT, {value}, nullptr); }

VARIANT Text(const wchar_t* s) {
  VARIANT v;
  v.vt = VT_BSTR;
  v.bstrVal = ::SysAllocString(s);
  return v;
}
VARIANT Long(LONG n) {
  VARIANT v;
  v.vt = VT_I4;
  v.lVal = n;
  return v;
}
VARIANT Bool(bool b) {
  VARIANT v;
  v.vt = VT_BOOL;
  v.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}

std::string AsText(VARIANT v) {
  std::string s;
  if (SUCCEEDED(::VariantChangeType(&v, &v, 0, VT_BSTR))) s = Narrow(v.bstrVal ? v.bstrVal : L"");
  ::VariantClear(&v);
  return s;
}

// ---- a small COM object base

template <typename... Interfaces>
class Object : public Interfaces... {
 public:
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs_; }  // lives on the test's stack

 private:
  ULONG refs_ = 1;
};

// The page's PARAM values; records every read and the type it was asked for.
class Bag final : public Object<IPropertyBag> {
 public:
  explicit Bag(std::map<std::wstring, std::wstring> values) : values_(std::move(values)) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == IID_IPropertyBag) {
      *out = static_cast<IPropertyBag*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE Read(LPCOLESTR name, VARIANT* value, IErrorLog*) override {
    if (reads.empty() && onFirstRead) onFirstRead();
    reads.push_back(Narrow(name));
    requested.push_back(value->vt);
    auto it = values_.find(name);
    if (it == values_.end()) return E_INVALIDARG;
    VARIANT stored = Text(it->second.c_str());
    // As a browser's bag: the caller's type, or our own (a string) when empty.
    HRESULT hr =
        ::VariantChangeType(value, &stored, 0, value->vt == VT_EMPTY ? static_cast<VARTYPE>(VT_BSTR) : value->vt);
    ::VariantClear(&stored);
    return hr;
  }
  HRESULT STDMETHODCALLTYPE Write(LPCOLESTR, VARIANT*) override { return E_NOTIMPL; }

  std::vector<std::string> reads;
  std::vector<VARTYPE> requested;
  std::function<void()> onFirstRead;  // runs inside the control's Load

 private:
  std::map<std::wstring, std::wstring> values_;
};

// The page's event handlers: records every event, answers the resize ones.
class Sink final : public Object<IDispatch> {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == kEventsIid) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* p, VARIANT*, EXCEPINFO*, UINT*) override {
    events.push_back(id);
    if (id == 1 && p->cArgs == 3 && p->rgvarg[2].vt == (VT_I4 | VT_BYREF)) {
      *p->rgvarg[2].plVal = canResizeWidth;  // NewWidth
      *p->rgvarg[0].pboolVal = VARIANT_TRUE;
    }
    if (id == 3 && p->cArgs == 4 && p->rgvarg[0].vt == (VT_I4 | VT_BYREF)) *p->rgvarg[0].plVal = maxHeight;
    return S_OK;
  }
  std::vector<DISPID> events;
  LONG canResizeWidth = 111;
  LONG maxHeight = 30;
};

// Just enough of a container to activate the control in place in a window.
class Site final : public Object<IOleClientSite, IOleInPlaceSite> {
 public:
  explicit Site(HWND window) : window_(window) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == IID_IOleClientSite)
      *out = static_cast<IOleClientSite*>(this);
    else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceSite)
      *out = static_cast<IOleInPlaceSite*>(this);
    else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SaveObject() override { return S_OK; }
  // As Internet Explorer: the container's moniker is the page's URL moniker.
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD which, IMoniker** moniker) override {
    *moniker = nullptr;
    if (pageUrl.empty() || which != OLEWHICHMK_CONTAINER) return E_NOTIMPL;
    return ::CreateURLMonikerEx(nullptr, pageUrl.c_str(), moniker, URL_MK_UNIFORM);
  }
  HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** c) override {
    *c = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* w) override {
    *w = window_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override {
    activated = true;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos,
                                             LPRECT clip, LPOLEINPLACEFRAMEINFO) override {
    *frame = nullptr;
    *doc = nullptr;
    ::SetRect(pos, 10, 10, 195, 51);
    *clip = *pos;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override {
    deactivated = true;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return S_OK; }
  bool activated = false;
  bool deactivated = false;
  std::wstring pageUrl;

  // The page's address as the moniker writes it (Wine drops user information).
  std::string PageName() {
    IMoniker* moniker = nullptr;
    IBindCtx* context = nullptr;
    LPOLESTR text = nullptr;
    if (SUCCEEDED(GetMoniker(0, OLEWHICHMK_CONTAINER, &moniker)) && SUCCEEDED(::CreateBindCtx(0, &context)))
      moniker->GetDisplayName(context, nullptr, &text);
    std::string name = text ? Narrow(text) : "";
    ::CoTaskMemFree(text);
    if (context) context->Release();
    if (moniker) moniker->Release();
    return name;
  }

 private:
  HWND window_;
};

IDispatch* CreateControl() {
  IDispatch* d = nullptr;
  HRESULT hr = ::CoCreateInstance(kClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&d));
  Check(SUCCEEDED(hr) && d, "CoCreateInstance of the control's class identifier");
  return SUCCEEDED(hr) ? d : nullptr;
}

std::vector<std::string> FileLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

int Blanks(const std::string& s) { return static_cast<int>(std::count(s.begin(), s.end(), ' ')); }

// A log line is "<date> <time> <text>" in the user's short date and long
// time formats, which may hold blanks themselves ("7:08:34 PM").
std::string LogText(const std::string& line) {
  char date[128] = {}, time[128] = {};
  ::GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, date, sizeof date);
  ::GetTimeFormatA(LOCALE_USER_DEFAULT, 0, nullptr, nullptr, time, sizeof time);
  if (line.rfind(std::string(date) + " ", 0) != 0) return "<no date stamp: " + line + ">";
  std::size_t at = 0;
  for (int skip = Blanks(date) + Blanks(time) + 2; skip > 0 && at != std::string::npos; --skip)
    at = line.find(' ', at == 0 ? 0 : at + 1);
  return at == std::string::npos ? "" : line.substr(at + 1);
}

std::string TempFolder() {
  char buf[MAX_PATH + 1] = {};
  DWORD n = ::GetTempPathA(sizeof buf, buf);
  return std::string(buf, n);
}

// ---- the checks

void CheckRegistry() {
  const std::wstring clsid = std::wstring(L"CLSID\\") + kClsidText;
  CheckEq(RegistryText(clsid + L"\\InprocServer32", L"ThreadingModel"), "Apartment", "threading model");
  const std::string server = RegistryText(clsid + L"\\InprocServer32", nullptr);
  Check(server.size() > 18 && server.substr(server.size() - 18) == "ImpThermOrvane.ocx", "in-process server " + server);
  CheckEq(RegistryText(clsid + L"\\TypeLib", nullptr), "{829C1426-1EAB-4619-827C-DAC1E385C929}", "class type library");
  CheckEq(RegistryText(clsid + L"\\MiscStatus\\1", nullptr), "204800", "misc status 0x32000");
  Check(RegistryKeyExists(clsid + L"\\Control"), "class marked as a control");
  Check(RegistryText(clsid + L"\\ToolboxBitmap32", nullptr).find(",1") != std::string::npos, "toolbox bitmap 1");
  Check(RegistryKeyExists(L"TypeLib\\{829C1426-1EAB-4619-827C-DAC1E385C929}\\1.0"), "type library registered");
  CheckEq(RegistryText(L"Interface\\{E73CB9AD-D1A2-41A1-84AC-C7E4DD53C394}\\TypeLib", nullptr),
          "{829C1426-1EAB-4619-827C-DAC1E385C929}", "IPluginPrinter registered with its type library");
  CheckEq(RegistryText(L"Interface\\{CB4C4045-5309-479C-B696-B96BEBB23FAF}\\TypeLib", nullptr),
          "{829C1426-1EAB-4619-827C-DAC1E385C929}", "IPluginPrinterEvents registered with its type library");
  CheckEq(RegistryText(L"ImpThermOrvane.PluginPrinter\\CLSID", nullptr), "{F0BD7B50-E791-4E1C-ADA6-989562A19877}",
          "program id");
}

std::map<std::string, std::pair<DISPID, int>> Members(ITypeInfo* info) {
  std::map<std::string, std::pair<DISPID, int>> members;  // name -> dispid, invoke kinds (bit mask)
  TYPEATTR* attr = nullptr;
  if (FAILED(info->GetTypeAttr(&attr))) return members;
  for (UINT i = 0; i < attr->cFuncs; ++i) {
    FUNCDESC* f = nullptr;
    if (FAILED(info->GetFuncDesc(i, &f))) continue;
    BSTR name = nullptr;
    info->GetDocumentation(f->memid, &name, nullptr, nullptr, nullptr);
    auto& m = members[Narrow(name ? name : L"")];
    m.first = f->memid;
    m.second |= f->invkind;
    ::SysFreeString(name);
    info->ReleaseFuncDesc(f);
  }
  info->ReleaseTypeAttr(attr);
  return members;
}

// The name of the type a property's put takes, as containers see it.
std::string PutTypeName(ITypeInfo* info, DISPID id) {
  std::string name = "?";
  TYPEATTR* attr = nullptr;
  if (FAILED(info->GetTypeAttr(&attr))) return name;
  for (UINT i = 0; i < attr->cFuncs; ++i) {
    FUNCDESC* f = nullptr;
    if (FAILED(info->GetFuncDesc(i, &f))) continue;
    if (f->memid == id && f->invkind == INVOKE_PROPERTYPUT && f->cParams == 1) {
      const TYPEDESC& type = f->lprgelemdescParam[0].tdesc;
      ITypeInfo* ref = nullptr;
      BSTR text = nullptr;
      if (type.vt != VT_USERDEFINED)
        name = "vt " + std::to_string(type.vt);
      else if (SUCCEEDED(info->GetRefTypeInfo(type.hreftype, &ref)) &&
               SUCCEEDED(ref->GetDocumentation(-1, &text, nullptr, nullptr, nullptr)))
        name = Narrow(text ? text : L"");
      ::SysFreeString(text);
      if (ref) ref->Release();
    }
    info->ReleaseFuncDesc(f);
  }
  info->ReleaseTypeAttr(attr);
  return name;
}

void CheckTypeLibrary() {
  ITypeLib* lib = nullptr;
  if (FAILED(::LoadRegTypeLib(kLibId, 1, 0, 0, &lib))) {
    Check(false, "LoadRegTypeLib {829C1426-...} 1.0");
    return;
  }
  BSTR name = nullptr;
  lib->GetDocumentation(-1, &name, nullptr, nullptr, nullptr);
  CheckEq(Narrow(name ? name : L""), "ImpThermOrvane", "type library name");
  ::SysFreeString(name);

  ITypeInfo* info = nullptr;
  Check(SUCCEEDED(lib->GetTypeInfoOfGuid(kControlIid, &info)), "IPluginPrinter in the type library");
  if (info) {
    TYPEATTR* attr = nullptr;
    info->GetTypeAttr(&attr);
    Check(attr && (attr->wTypeFlags & TYPEFLAG_FDUAL), "IPluginPrinter is dual");
    if (attr) info->ReleaseTypeAttr(attr);
    const int rw = INVOKE_PROPERTYGET | INVOKE_PROPERTYPUT;
    const std::vector<std::tuple<const char*, DISPID, int>> table = {
        {"Alignment", 1, rw},
        {"AutoSize", 2, rw},
        {"BevelInner", 3, rw},
        {"BevelOuter", 4, rw},
        {"BorderStyle", 5, rw},
        {"Caption", -518, rw},
        {"Color", -501, rw},
        {"Ctl3D", 6, rw},
        {"UseDockManager", 7, rw},
        {"DockSite", 8, rw},
        {"DragCursor", 9, rw},
        {"DragMode", 10, rw},
        {"Enabled", -514, rw},
        {"FullRepaint", 11, rw},
        {"Font", -512, rw | INVOKE_PROPERTYPUTREF},
        {"Locked", 12, rw},
        {"ParentColor", 13, rw},
        {"ParentCtl3D", 14, rw},
        {"Visible", 15, rw},
        {"DoubleBuffered", 16, rw},
        {"AlignDisabled", 17, INVOKE_PROPERTYGET},
        {"VisibleDockClientCount", 18, INVOKE_PROPERTYGET},
        {"DrawTextBiDiModeFlagsReadingOnly", 20, INVOKE_FUNC},
        {"InitiateAction", 21, INVOKE_FUNC},
        {"IsRightToLeft", 22, INVOKE_FUNC},
        {"UseRightToLeftReading", 25, INVOKE_FUNC},
        {"UseRightToLeftScrollBar", 26, INVOKE_FUNC},
        {"Cursor", 27, rw},
        {"HelpType", 28, rw},
        {"HelpKeyword", 29, rw},
        {"SetSubComponent", 31, INVOKE_FUNC},
    };
    auto members = Members(info);
    for (const auto& [member, id, kinds] : table) {
      auto it = members.find(member);
      Check(it != members.end(), std::string("member ") + member);
      if (it == members.end()) continue;
      CheckEq(it->second.first, id, std::string("dispatch id of ") + member);
      CheckEq(it->second.second, kinds, std::string("access of ") + member);
    }
    CheckEq(PutTypeName(info, -501), "OLE_COLOR", "Color is typed OLE_COLOR");
    info->Release();
  }

  info = nullptr;
  Check(SUCCEEDED(lib->GetTypeInfoOfGuid(kEventsIid, &info)), "IPluginPrinterEvents in the type library");
  if (info) {
    auto members = Members(info);
    const std::vector<std::pair<const char*, DISPID>> events = {
        {"OnCanResize", 1}, {"OnClick", 2}, {"OnConstrainedResize", 3}, {"OnDblClick", 7}, {"OnResize", 16}};
    for (const auto& [event, id] : events) CheckEq(members[event].first, id, std::string("dispatch id of ") + event);
    info->Release();
  }

  info = nullptr;
  Check(SUCCEEDED(lib->GetTypeInfoOfGuid(kClsid, &info)), "PluginPrinter class in the type library");
  if (info) {
    BSTR cls = nullptr;
    info->GetDocumentation(-1, &cls, nullptr, nullptr, nullptr);
    CheckEq(Narrow(cls ? cls : L""), "PluginPrinter", "class name");
    ::SysFreeString(cls);
    info->Release();
  }

  // The enumerations with their values, from 0 in the order given.
  const std::map<std::string, std::vector<std::string>> enums = {
      {"TxAlignment", {"taLeftJustify", "taRightJustify", "taCenter"}},
      {"TxBevelCut", {"bvNone", "bvLowered", "bvRaised", "bvSpace"}},
      {"TxBorderStyle", {"bsNone", "bsSingle"}},
      {"TxDragMode", {"dmManual", "dmAutomatic"}},
      {"TxMouseButton", {"mbLeft", "mbRight", "mbMiddle"}},
      {"TxHelpType", {"htKeyword", "htContext"}},
  };
  std::map<std::string, std::vector<std::string>> found;
  for (UINT i = 0; i < lib->GetTypeInfoCount(); ++i) {
    ITypeInfo* t = nullptr;
    if (FAILED(lib->GetTypeInfo(i, &t))) continue;
    TYPEATTR* attr = nullptr;
    t->GetTypeAttr(&attr);
    if (attr && attr->typekind == TKIND_ENUM) {
      BSTR en = nullptr;
      t->GetDocumentation(-1, &en, nullptr, nullptr, nullptr);
      auto& values = found[Narrow(en ? en : L"")];
      ::SysFreeString(en);
      for (UINT v = 0; v < attr->cVars; ++v) {
        VARDESC* var = nullptr;
        t->GetVarDesc(v, &var);
        BSTR vn = nullptr;
        t->GetDocumentation(var->memid, &vn, nullptr, nullptr, nullptr);
        const LONG value = var->lpvarValue ? var->lpvarValue->lVal : -1;
        if (value >= 0 && static_cast<std::size_t>(value) >= values.size()) values.resize(value + 1);
        if (value >= 0) values[value] = Narrow(vn ? vn : L"");
        ::SysFreeString(vn);
        t->ReleaseVarDesc(var);
      }
    }
    if (attr) t->ReleaseTypeAttr(attr);
    t->Release();
  }
  for (const auto& [en, values] : enums) Check(found[en] == values, "enumeration " + en);
  lib->Release();
}

void CheckResources() {
  std::string path = RegistryText(std::wstring(L"CLSID\\") + kClsidText + L"\\InprocServer32", nullptr);
  HMODULE module = ::LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  Check(module != nullptr, "the control's file loads as data");
  if (!module) return;
  auto text = [&](UINT id) {
    char buf[256] = {};
    int n = ::LoadStringA(module, id, buf, sizeof buf);
    return std::string(buf, n > 0 ? n : 0);
  };
  for (UINT bank : {0u, 1000u, 2000u, 3000u}) {
    CheckEq(text(bank + 1), "Exp.", "caption 1 of bank " + std::to_string(bank));
    CheckEq(text(bank + 11), "DESTINATAIRE", "caption 11 of bank " + std::to_string(bank));
    CheckEq(text(bank + 14), "KG   :", "caption 14 of bank " + std::to_string(bank));
    CheckEq(text(bank + 17), "Tel:", "caption 17 of bank " + std::to_string(bank));
    CheckEq(text(bank + 18), "", "no caption 18 in bank " + std::to_string(bank));
  }
  Check(::FindResourceW(module, MAKEINTRESOURCEW(1), reinterpret_cast<LPCWSTR>(RT_BITMAP)) != nullptr,
        "toolbox bitmap resource 1");
  Check(::FindResourceW(module, MAKEINTRESOURCEW(1), L"TYPELIB") != nullptr, "type library resource 1");
  ::FreeLibrary(module);

  DWORD ignored = 0;
  DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &ignored);
  std::vector<char> data(size);
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT len = 0;
  const bool ok = size && ::GetFileVersionInfoA(path.c_str(), 0, size, data.data()) &&
                  ::VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &len) && fixed;
  Check(ok, "version resource");
  if (ok) {
    CheckEq(fixed->dwFileVersionMS, 0x00010000u, "file version 1.0");
    CheckEq(fixed->dwFileVersionLS, 20u, "file version .0.20");
  }
}

void CheckProperties(IDispatch* d) {
  DISPID id = 0;
  LPOLESTR caption = const_cast<LPOLESTR>(L"Caption");
  Check(SUCCEEDED(d->GetIDsOfNames(IID_NULL, &caption, 1, LOCALE_USER_DEFAULT, &id)) && id == -518,
        "GetIDsOfNames(Caption) is -518");

  Check(SUCCEEDED(Put(d, -518, Text(L"Etiquettes \u00e9t\u00e9"))), "put Caption");
  CheckEq(AsText(Get(d, -518)), "Etiquettes \xe9t\xe9", "Caption reads back");

  CheckEq(Get(d, 28).lVal, 1, "HelpType starts as htContext");
  Check(SUCCEEDED(Put(d, -501, Long(0x0000FF00))), "put Color");
  VARIANT color = Get(d, -501);
  CheckEq(color.vt == VT_I4 || color.vt == VT_UI4 ? color.lVal : -1, 0x0000FF00, "Color reads back");
  Check(FAILED(Put(d, -501, Long(0x7F000000))), "a Color that is no colour is refused");

  VARIANT visible = Get(d, 15);
  Check(visible.vt == VT_BOOL && visible.boolVal == VARIANT_TRUE, "Visible starts true");
  Check(SUCCEEDED(Put(d, 15, Bool(false))), "put Visible");
  visible = Get(d, 15);
  Check(visible.vt == VT_BOOL && visible.boolVal == VARIANT_FALSE, "Visible reads back false");
  Check(SUCCEEDED(Put(d, 15, Bool(true))), "put Visible back");

  Check(FAILED(Put(d, 1, Long(7))), "an Alignment outside the enumeration is refused");
  Check(SUCCEEDED(Put(d, 1, Long(0))), "put Alignment taLeftJustify");
  CheckEq(AsText(Get(d, 1)), "0", "Alignment reads back");
  Check(FAILED(Put(d, 17, Bool(true))), "AlignDisabled is read only");

  VARIANT rtl;
  ::VariantInit(&rtl);
  Check(SUCCEEDED(Call(d, 22, DISPATCH_METHOD, {}, &rtl)) && rtl.vt == VT_BOOL && rtl.boolVal == VARIANT_FALSE,
        "IsRightToLeft is false");
  HRESULT hr = S_OK;
  VARIANT font = Get(d, -512, &hr);
  Check(SUCCEEDED(hr) && font.vt == VT_DISPATCH && font.pdispVal, "Font is a font object");
  ::VariantClear(&font);
}

HWND MakeHostWindow() {
  WNDCLASSW wc{};
  wc.lpfnWndProc = ::DefWindowProcW;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = L"ControlHostWindow";
  ::RegisterClassW(&wc);
  HWND w = ::CreateWindowW(L"ControlHostWindow", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 300, nullptr,
                           nullptr, wc.hInstance, nullptr);
  return w;
}

void Pump() {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
}

bool Fired(const Sink& sink, DISPID id) {
  for (DISPID e : sink.events)
    if (e == id) return true;
  return false;
}

void CheckEventsInPlace(IDispatch* d) {
  IConnectionPointContainer* cpc = nullptr;
  IConnectionPoint* cp = nullptr;
  Check(SUCCEEDED(d->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&cpc))),
        "IConnectionPointContainer");
  if (!cpc) return;
  Check(SUCCEEDED(cpc->FindConnectionPoint(kEventsIid, &cp)), "connection point for IPluginPrinterEvents");
  IConnectionPoint* unknown = nullptr;
  Check(cpc->FindConnectionPoint(IID_IDispatch, &unknown) == CONNECT_E_NOCONNECTION && !unknown,
        "no connection point for other interfaces");
  IEnumConnectionPoints* points = nullptr;
  Check(SUCCEEDED(cpc->EnumConnectionPoints(&points)) && points, "EnumConnectionPoints");
  if (points) {
    IConnectionPoint* found[2] = {};
    ULONG fetched = 0;
    Check(points->Next(2, found, &fetched) == S_FALSE && fetched == 1, "exactly one connection point");
    IID iid{};
    if (found[0]) {
      found[0]->GetConnectionInterface(&iid);
      found[0]->Release();
    }
    Check(iid == kEventsIid, "it is the IPluginPrinterEvents point");
    points->Release();
  }
  cpc->Release();
  if (!cp) return;
  Sink sink, second;
  DWORD cookie = 0, other = 0;
  Check(SUCCEEDED(cp->Advise(static_cast<IDispatch*>(&sink), &cookie)), "Advise");
  Check(cp->Advise(static_cast<IDispatch*>(&second), &other) == CONNECT_E_ADVISELIMIT, "one sink at a time");

  HWND host = MakeHostWindow();
  Site site(host);
  IOleObject* ole = nullptr;
  d->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&ole));
  Check(ole != nullptr, "IOleObject");
  if (ole) {
    DWORD misc = 0;
    ole->GetMiscStatus(DVASPECT_CONTENT, &misc);
    CheckEq(misc, 0x32000u, "GetMiscStatus");
    ole->SetClientSite(&site);
    RECT pos{10, 10, 195, 51};
    Check(SUCCEEDED(ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, 0, host, &pos)), "in-place activation");
    Check(site.activated, "the site heard of the activation");
  }
  IOleInPlaceObject* inPlace = nullptr;
  d->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace));
  HWND panel = nullptr;
  if (inPlace) inPlace->GetWindow(&panel);
  Check(panel && ::GetParent(panel) == host, "the panel is a child of the host window");
  if (panel) {
    wchar_t text[128] = {};
    ::GetWindowTextW(panel, text, 128);
    CheckEq(Narrow(text), "Etiquettes \xe9t\xe9", "the panel shows the Caption");
    Pump();
    sink.events.clear();
    ::SendMessageW(panel, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    ::SendMessageW(panel, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    Check(Fired(sink, 2), "OnClick reached the sink");
    ::SendMessageW(panel, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(5, 5));
    ::SendMessageW(panel, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    Check(sink.events == std::vector<DISPID>{2, 7}, "a double click fires OnClick once, then OnDblClick");

    sink.events.clear();
    sink.canResizeWidth = 150;  // a size the panel does not have yet
    RECT wanted{10, 10, 210, 110};
    inPlace->SetObjectRects(&wanted, &wanted);
    RECT got{};
    ::GetWindowRect(panel, &got);
    Check(Fired(sink, 1) && Fired(sink, 3) && Fired(sink, 16), "resize events reached the sink");
    CheckEq(got.right - got.left, sink.canResizeWidth, "the width the sink wrote back in OnCanResize");
    CheckEq(got.bottom - got.top, sink.maxHeight, "the height limit the sink wrote back in OnConstrainedResize");
    Put(d, 4, Long(1));  // BevelOuter bvLowered
    Put(d, 3, Long(2));  // BevelInner bvRaised
    Put(d, 5, Long(1));  // BorderStyle bsSingle
    Put(d, 1, Long(2));  // Alignment taCenter
    Put(d, -501, Long(0x00FFFFE0));
    Pump();
    Check(SaveWindowPicture(host, "artifacts\\panel-in-host.bmp"), "picture of the panel in its host window");

    Put(d, 15, Bool(false));
    Check(!::IsWindowVisible(panel), "Visible false hides the panel");
    Put(d, 15, Bool(true));
    Check(::IsWindowVisible(panel), "Visible true shows it again");
  }

  Check(SUCCEEDED(cp->Unadvise(cookie)), "Unadvise");
  sink.events.clear();
  if (panel) {
    ::SendMessageW(panel, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    ::SendMessageW(panel, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  }
  Check(sink.events.empty(), "nothing is fired once the sink is gone");
  cp->Release();
  if (inPlace) {
    inPlace->InPlaceDeactivate();
    Check(site.deactivated && !::IsWindow(panel), "deactivation removes the panel");
    inPlace->Release();
  }
  if (ole) {
    ole->Close(OLECLOSE_NOSAVE);
    ole->SetClientSite(nullptr);
    ole->Release();
  }
  ::DestroyWindow(host);
}

// Windows created while a print run holds the thread, seen through a hook.
struct CreatedWindow {
  std::string title;
  int cx = 0, cy = 0, x = 0, y = 0;
  LONG style = 0;
};
std::vector<CreatedWindow> g_created;
// Texts of the message boxes the run opened; each is closed with OK as soon
// as it is shown, as a person at the screen would.
std::vector<std::string> g_boxes;

LRESULT CALLBACK CbtHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE) {
    const HWND hwnd = reinterpret_cast<HWND>(wParam);
    wchar_t cls[16] = {};
    ::GetClassNameW(hwnd, cls, 16);
    if (std::wstring(cls) == L"#32770") {
      wchar_t text[512] = {};
      ::GetDlgItemTextW(hwnd, 0xFFFF, text, 512);
      g_boxes.push_back(Narrow(text));
      ::PostMessageW(hwnd, WM_COMMAND, IDOK, 0);
    }
  }
  if (code == HCBT_CREATEWND) {
    auto* cbt = reinterpret_cast<CBT_CREATEWNDW*>(lParam);
    const LPCWSTR cls = cbt->lpcs->lpszClass;
    if (cls && !IS_INTRESOURCE(cls) && std::wstring(cls) == L"TImpThermProgress") {
      CreatedWindow w;
      if (cbt->lpcs->lpszName && !IS_INTRESOURCE(cbt->lpcs->lpszName)) w.title = Narrow(cbt->lpcs->lpszName);
      w.cx = cbt->lpcs->cx;
      w.cy = cbt->lpcs->cy;
      w.x = cbt->lpcs->x;
      w.y = cbt->lpcs->y;
      w.style = cbt->lpcs->style;
      g_created.push_back(w);
    }
  }
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

// What the print run wrote into the progress window's memo.
std::wstring g_memo;
LRESULT CALLBACK CallWndHook(int code, WPARAM wParam, LPARAM lParam) {
  const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
  if (code == HC_ACTION && call->message == EM_REPLACESEL && call->lParam)
    g_memo += reinterpret_cast<const wchar_t*>(call->lParam);
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

void LoadBag(IDispatch* d, Bag& bag) {
  IPersistPropertyBag* persist = nullptr;
  Check(SUCCEEDED(d->QueryInterface(IID_IPersistPropertyBag, reinterpret_cast<void**>(&persist))),
        "IPersistPropertyBag");
  if (!persist) return;
  Check(persist->InitNew() == S_OK, "InitNew returns S_OK");
  HHOOK hook = ::SetWindowsHookExW(WH_CBT, CbtHook, nullptr, ::GetCurrentThreadId());
  HHOOK memoHook = ::SetWindowsHookExW(WH_CALLWNDPROC, CallWndHook, nullptr, ::GetCurrentThreadId());
  g_created.clear();
  g_memo.clear();
  g_boxes.clear();
  CheckEq(persist->Load(&bag, nullptr), S_OK, "Load returns S_OK");
  ::UnhookWindowsHookEx(memoHook);
  ::UnhookWindowsHookEx(hook);
  Check(persist->Save(&bag, TRUE, TRUE) == S_OK, "Save returns S_OK");
  persist->Release();
}

void CheckRefusedRun(IDispatch* d) {
  Put(d, -518, Text(L"before"));
  // streamUrl is there but fileOut is not: the run stops at fileOut.
  Bag bag({{L"prnType", L"4"}, {L"streamUrl", L"http://127.0.0.1:9/labels.asp"}});
  LoadBag(d, bag);
  const std::vector<std::string> reads = {"prnType", "fileOut"};
  Check(bag.reads == reads, "reads stop at the first missing required parameter");
  Check(bag.requested.size() == 2 && bag.requested[0] == VT_EMPTY && bag.requested[1] == VT_BSTR,
        "the first read takes the bag's own type, the next asks for a string");
  CheckEq(AsText(Get(d, -518)), "ImpThermOrvane.ocx", "Load sets the panel caption");
  CheckEq(Narrow(g_memo), "Erreur dans les parametres\r\n", "the memo says why");

  const auto lines = FileLines(TempFolder() + "ImpThermOrvane.Log");
  CheckEq(lines.size(), 2u, "a refused run leaves a two-line parameter log");
  if (lines.size() == 2) {
    CheckEq(LogText(lines[0]), "ImpThermOrvane.ocx v1.0.0.20", "first line: the window caption");
    CheckEq(LogText(lines[1]), "Arguments Error", "second line");
  }

  Check(g_created.size() == 1, "one progress window during the run");
  if (!g_created.empty()) {
    const CreatedWindow& w = g_created[0];
    CheckEq(w.title, "ImpThermOrvane.ocx v1.0.0.20", "progress window caption");
    CheckEq(w.cx, 320, "progress window width");
    CheckEq(w.cy, 240, "progress window height");
    CheckEq(w.x, (::GetSystemMetrics(SM_CXSCREEN) - 320) / 2, "progress window centred across");
    CheckEq(w.y, (::GetSystemMetrics(SM_CYSCREEN) - 240) / 2, "progress window centred down");
    Check((w.style & WS_CAPTION) == WS_CAPTION && !(w.style & WS_SYSMENU) && !(w.style & WS_THICKFRAME),
          "progress window: caption, fixed border, no title-bar buttons");
  }
  Check(::FindWindowW(L"TImpThermProgress", nullptr) == nullptr, "the progress window is gone after the run");
}

std::string LastRunLogText() {
  const auto lines = FileLines(TempFolder() + "OWTMP.LOG");
  return lines.empty() ? "<empty run log>" : LogText(lines.back());
}

// A page script reached through a dialog of the run asks for a second run.
void CheckSecondLoad(IDispatch* d) {
  IPersistPropertyBag* persist = nullptr;
  d->QueryInterface(IID_IPersistPropertyBag, reinterpret_cast<void**>(&persist));
  if (!persist) return;
  Bag first(std::map<std::wstring, std::wstring>{{L"prnType", L"4"}});
  Bag second(std::map<std::wstring, std::wstring>{{L"prnType", L"4"}});
  std::string logged;
  first.onFirstRead = [&] {
    CheckEq(persist->Load(&second, nullptr), S_OK, "a second Load during a run returns S_OK");
    logged = LastRunLogText();
  };
  persist->Load(&first, nullptr);
  Check(second.reads.empty(), "the second run reads nothing");
  CheckEq(logged, "Impression refusee : une impression est deja en cours", "the refused run is in the run log");
  persist->Release();
}

// The registry view of the other width: the control reads its list from
// both. 32-bit Windows has one view and ignores the flag.
constexpr REGSAM kOtherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;

void SetSitesValue(const wchar_t* path, REGSAM view, const wchar_t* name, const std::wstring& value) {
  HKEY key = nullptr;
  Check(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_WRITE | view, nullptr, &key, nullptr) ==
            ERROR_SUCCESS,
        "the allowed sites key can be made");
  if (!key) return;
  ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  ::RegCloseKey(key);
}

// SiteLock: the host plays Internet Explorer (the site first, then the
// safety questions, then the page's parameters) for pages on and off the
// administrator's list, which is partly in the other width's view.
void CheckSiteLock() {
  const wchar_t* path = L"SOFTWARE\\MERIDON\\ImpThermOrvane\\AllowedSites";
  SetSitesValue(path, 0, L"1", L" https://intranet.example.com ; https://*.corp.example:8443");
  SetSitesValue(path, kOtherView, L"intranet", L"http://10.1.2.3");
  const struct {
    const wchar_t* page;
    bool allowed;
  } cases[] = {
      {L"https://intranet.example.com/labels/print.asp?id=1", true},
      {L"https://shop.corp.example:8443/labels", true},
      {L"http://10.1.2.3/labels", true},
      {L"https://intranet.example.com.evil.test/", false},
      {L"https://intranet.example.com@evil.test/", false},
      {L"http://intranet.example.com/", false},
      {L"https://intranet.example.com:8443/", false},
      {L"", false},  // a container that cannot tell its page
  };
  auto run = [](const wchar_t* page, bool allowed) {
    const std::string name = Narrow(page);
    IDispatch* d = CreateControl();
    if (!d) return;
    Site site(nullptr);
    site.pageUrl = page;
    IOleObject* ole = nullptr;
    IObjectSafety* safety = nullptr;
    d->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&ole));
    d->QueryInterface(IID_IObjectSafety, reinterpret_cast<void**>(&safety));
    Check(ole && safety, "IObjectSafety");
    if (ole && safety) {
      ole->SetClientSite(&site);
      const DWORD data = INTERFACESAFE_FOR_UNTRUSTED_DATA, caller = INTERFACESAFE_FOR_UNTRUSTED_CALLER;
      CheckEq(SUCCEEDED(safety->SetInterfaceSafetyOptions(IID_IPersistPropertyBag, data, data)), allowed,
              "safe for initialisation on " + name);
      CheckEq(SUCCEEDED(safety->SetInterfaceSafetyOptions(IID_IDispatch, caller, caller)), allowed,
              "safe for scripting on " + name);
      Bag bag(std::map<std::wstring, std::wstring>{{L"prnType", L"4"}});
      LoadBag(d, bag);
      CheckEq(bag.reads.empty(), !allowed, "the page's parameters are read only on an allowed site: " + name);
      if (!allowed)
        CheckEq(LastRunLogText(), "Impression refusee : la page " + site.PageName() + " n'est pas un site autorise",
                "the run log names the refused page");
      ole->SetClientSite(nullptr);
    }
    if (safety) safety->Release();
    if (ole) ole->Release();
    d->Release();
  };
  for (const auto& c : cases) run(c.page, c.allowed);
  ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, path);
  ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path, kOtherView, 0);
  run(L"https://intranet.example.com/labels/print.asp?id=1", false);  // an empty list allows no site
}

Bag FullBag() {
  return Bag({{L"prnType", L"4"},
              {L"fileOut", L"FILE"},
              {L"streamUrl", L"http://127.0.0.1:9/labels.asp?id=1"},
              {L"nbEtiquColis", L"2"},
              {L"nbEtiquPalettes", L"x"},
              {L"Cookie", L"ASPSESSIONID=AB12"},
              {L"prnName", L"Zebra LP2844"},
              {L"proxyEnable", L"True"},
              {L"proxyHttp", L"  proxy.local:3128 "},
              {L"proxyDomaine", L"ORVANE  "},
              {L"proxyUser", L"   "},
              {L"proxyPassword", L""}});
}

std::string MeridonLine() {
  for (const auto& line : FileLines(TempFolder() + "ImpThermOrvane.Log")) {
    const std::string text = LogText(line);
    if (text.rfind("Meridon directory:", 0) == 0) return text;
  }
  return "<no Meridon line>";
}

bool FolderExists(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void CheckFullParameters(IDispatch* d) {
  Bag bag = FullBag();
  LoadBag(d, bag);
  Check(g_memo.rfind(L"Impression en cours\r\n", 0) == 0, "the memo says the run is on");
  const std::vector<std::string> reads = {"prnType",         "fileOut",      "streamUrl", "nbEtiquColis",
                                          "nbEtiquPalettes", "Cookie",       "prnName",   "proxyEnable",
                                          "proxyHttp",       "proxyDomaine", "proxyUser", "proxyPassword"};
  Check(bag.reads == reads, "every parameter read once, in order");
  const auto lines = FileLines(TempFolder() + "ImpThermOrvane.Log");
  std::vector<std::string> texts;
  for (const auto& l : lines) texts.push_back(LogText(l));
  char all[MAX_PATH] = {};
  ::GetEnvironmentVariableA("ALLUSERSPROFILE", all, MAX_PATH);
  std::string shared = all;
  if (!shared.empty() && shared.back() == '\\') shared.pop_back();
  shared += "\\MERIDON";
  const std::vector<std::string> expected = {"ImpThermOrvane.ocx v1.0.0.20",
                                             "prnType:4",
                                             "fileOut:FILE",
                                             "prnName:Zebra LP2844",
                                             "streamUrl:http://127.0.0.1:9/labels.asp?id=1",
                                             "cookie:ASPSESSIONID=AB12",
                                             "proxy Http:proxy.local:3128",
                                             "proxy Domaine:ORVANE",
                                             "Meridon directory:" + shared};
  Check(texts.size() >= expected.size() && std::equal(expected.begin(), expected.end(), texts.begin()),
        "parameter log of a full run");
  if (texts.size() < expected.size() || !std::equal(expected.begin(), expected.end(), texts.begin()))
    for (const auto& t : texts) std::printf("  log: %s\n", t.c_str());
  Check(FolderExists(shared), "the shared data folder exists");
}

// Without ALLUSERSPROFILE the folder goes on the Windows folder's drive, and
// the process keeps the substitute for later runs.
void CheckSharedFolderRules(IDispatch* d) {
  char saved[MAX_PATH] = {};
  ::GetEnvironmentVariableA("ALLUSERSPROFILE", saved, MAX_PATH);
  char windows[MAX_PATH] = {};
  ::GetWindowsDirectoryA(windows, MAX_PATH);
  const std::string allUsers = std::string(windows, 2) + "\\Documents and Settings\\All Users";

  ::SetEnvironmentVariableA("ALLUSERSPROFILE", nullptr);
  Bag bag = FullBag();
  LoadBag(d, bag);
  CheckEq(MeridonLine(), "Meridon directory:" + allUsers + "\\MERIDON", "shared folder without ALLUSERSPROFILE");
  char now[MAX_PATH] = {};
  ::GetEnvironmentVariableA("ALLUSERSPROFILE", now, MAX_PATH);
  CheckEq(std::string(now), allUsers, "the substitute is kept in the environment");
  Check(FolderExists(allUsers + "\\MERIDON"), "the substitute folder and its parents are created");

  ::SetEnvironmentVariableA("ALLUSERSPROFILE", "C:\\ProgramData\\");
  Bag again = FullBag();
  LoadBag(d, again);
  CheckEq(MeridonLine(), "Meridon directory:C:\\ProgramData\\MERIDON", "one backslash before MERIDON");
  ::SetEnvironmentVariableA("ALLUSERSPROFILE", saved);
}

void CheckNullBag(IDispatch* d) {
  IPersistPropertyBag* persist = nullptr;
  d->QueryInterface(IID_IPersistPropertyBag, reinterpret_cast<void**>(&persist));
  if (!persist) return;
  CheckEq(persist->Load(nullptr, nullptr), S_OK, "Load without a bag returns S_OK");
  persist->Release();
  const auto lines = FileLines(TempFolder() + "ImpThermOrvane.Log");
  Check(lines.size() == 2 && LogText(lines[1]) == "Arguments Error", "a missing bag is a refused run");
}

// Once nothing uses it the module may go; a later page loads it afresh and
// its windows must work again.
void CheckUnloadAndReload() {
  ::CoFreeUnusedLibrariesEx(0, 0);
  Check(::GetModuleHandleW(L"ImpThermOrvane.ocx") == nullptr, "the module unloads once nothing uses it");
  IDispatch* d = CreateControl();
  if (!d) return;
  HWND host = MakeHostWindow();
  Site site(host);
  IOleObject* ole = nullptr;
  d->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&ole));
  if (ole) {
    ole->SetClientSite(&site);
    RECT pos{10, 10, 195, 51};
    Check(SUCCEEDED(ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, 0, host, &pos)),
          "in-place activation after a reload");
  }
  Bag bag({});
  LoadBag(d, bag);
  CheckEq(g_created.size(), 1u, "a progress window after a reload");
  if (ole) {
    ole->Close(OLECLOSE_NOSAVE);
    ole->SetClientSite(nullptr);
    ole->Release();
  }
  d->Release();
  ::DestroyWindow(host);
}

int Registered() {
  CheckRegistry();
  CheckTypeLibrary();
  CheckResources();
  IDispatch* d = CreateControl();
  if (d) {
    CheckProperties(d);
    CheckEventsInPlace(d);
    CheckRefusedRun(d);
    CheckSecondLoad(d);
    CheckSiteLock();
    CheckFullParameters(d);
    CheckSharedFolderRules(d);
    CheckNullBag(d);
    Check(d->Release() == 0, "the last Release frees the control");
    CheckUnloadAndReload();
  }
  return 0;
}

// Copies a file the run wrote in the temporary folder to `to`.
void KeepFile(const std::string& name, const std::string& to) {
  Check(::CopyFileA((TempFolder() + name).c_str(), to.c_str(), FALSE) != FALSE, name + " was written and kept");
}

// A thermal print run to the file channel, then a version exchange, both
// on data a loopback server gives; what they wrote goes to `dir`.
// The person at the screen during a sheet run in a page: looks at the
// position chooser and abandons.
struct ChooserWatch {
  HWND frame;
  bool shown = false, frameDisabled = false, ownedByFrame = false;
  static DWORD WINAPI Run(void* self) {
    auto* w = static_cast<ChooserWatch*>(self);
    for (int waited = 0; waited < 20000; waited += 50) {
      HWND dialog = ::FindWindowW(L"#32770", L"Positionnement 1\u00e8re \u00e9tiquette");
      if (dialog && ::IsWindowVisible(dialog)) {
        w->shown = true;
        w->frameDisabled = !::IsWindowEnabled(w->frame);
        w->ownedByFrame = ::GetWindow(dialog, GW_OWNER) == w->frame;
        ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        return 0;
      }
      ::Sleep(50);
    }
    return 0;
  }
};

// A sheet run of a control in place in a browser's frame: the chooser keeps
// the frame (and so the page) disabled until it is answered.
void CheckChooserInPage(IDispatch* d, const std::wstring& url) {
  HWND frame = MakeHostWindow();
  Site site(frame);
  IOleObject* ole = nullptr;
  d->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&ole));
  if (!ole) return;
  ole->SetClientSite(&site);
  RECT pos{10, 10, 195, 51};
  ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, 0, frame, &pos);
  ChooserWatch watch{frame};
  HANDLE thread = ::CreateThread(nullptr, 0, ChooserWatch::Run, &watch, 0, nullptr);
  Bag sheet({{L"prnType", L"0"}, {L"fileOut", L"WIN"}, {L"streamUrl", url}});
  IPersistPropertyBag* persist = nullptr;  // without LoadBag's hook, which answers every dialog
  d->QueryInterface(IID_IPersistPropertyBag, reinterpret_cast<void**>(&persist));
  if (persist) persist->Load(&sheet, nullptr);
  if (persist) persist->Release();
  ::WaitForSingleObject(thread, 20000);
  ::CloseHandle(thread);
  Check(watch.shown, "the chooser shows in a sheet run");
  Check(watch.frameDisabled && watch.ownedByFrame, "the page's frame owns the chooser and is disabled while it is up");
  if (!watch.shown) std::printf("  run log: %s\n", LastRunLogText().c_str());
  Check(::IsWindowEnabled(frame), "the frame is enabled again after the chooser");
  ole->Close(OLECLOSE_NOSAVE);
  ole->SetClientSite(nullptr);
  ole->Release();
  ::DestroyWindow(frame);
}

int Served(const std::string& port, const std::string& dir) {
  IDispatch* d = CreateControl();
  if (!d) return 0;
  // A shared data folder of its own, so the printer configuration is the
  // one this run writes with its defaults.
  const std::string shared = TempFolder() + "imptherm-served";
  ::CreateDirectoryA(shared.c_str(), nullptr);
  ::DeleteFileA((shared + "\\MERIDON\\ImpThermOrvane.ini").c_str());
  ::SetEnvironmentVariableA("ALLUSERSPROFILE", shared.c_str());
  const std::wstring base = L"http://127.0.0.1:" + std::wstring(port.begin(), port.end()) + L"/labels.txt";

  ::DeleteFileA((TempFolder() + "etiquettesOrvane.txt").c_str());
  Bag print({{L"prnType", L"4"}, {L"fileOut", L"FILE"}, {L"streamUrl", base}, {L"nbEtiquColis", L"2"}});
  LoadBag(d, print);
  for (const auto& box : g_boxes) std::printf("  message box: %s\n", box.c_str());
  Check(g_boxes.empty(), "the print run ends without a message box");
  KeepFile("etiquettesOrvane.txt", dir + "\\job.txt");

  ::DeleteFileA((TempFolder() + "DataThermOrvane.txt").c_str());
  Bag update({{L"prnType", L"4"}, {L"fileOut", L"FILE"}, {L"streamUrl", base + L"?mode=UPDATEPLUGIN"}});
  LoadBag(d, update);
  Check(g_boxes.empty(), "the version exchange ends without a message box");
  KeepFile("DataThermOrvane.txt", dir + "\\update.txt");
  CheckChooserInPage(d, base);
  d->Release();
  return 0;
}

// The person at the screen during a proxied run: types the credentials into
// the proxy dialog and presses Valider. The dialog is found by its title, its
// fields in tab order.
bool g_dialogAnswered = false;
DWORD WINAPI AnswerProxyDialog(void*) {
  HWND dialog = nullptr;
  for (int waited = 0; waited < 20000 && !dialog; waited += 50) {
    dialog = ::FindWindowW(L"#32770", L"Param\u00e8tres d'authentification Proxy");
    if (!dialog) ::Sleep(50);
  }
  if (!dialog) return 0;
  ::Sleep(200);
  std::vector<HWND> fields;
  HWND valider = nullptr;
  for (HWND w = ::GetWindow(dialog, GW_CHILD); w; w = ::GetWindow(w, GW_HWNDNEXT)) {
    wchar_t cls[16] = {}, text[64] = {};
    ::GetClassNameW(w, cls, 16);
    ::GetWindowTextW(w, text, 64);
    if (::lstrcmpiW(cls, L"Edit") == 0) fields.push_back(w);
    if (std::wstring(text) == L"&Valider") valider = w;
  }
  if (fields.size() != 3 || !valider) return 0;
  wchar_t domain[64] = {};
  ::GetWindowTextW(fields[2], domain, 64);
  ::SendMessageW(fields[0], WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"agent"));
  ::SendMessageW(fields[1], WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"secret"));
  g_dialogAnswered = std::wstring(domain) == L"ORVANE";
  ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(valider), BN_CLICKED),
                 reinterpret_cast<LPARAM>(valider));
  return 0;
}

int Proxied(const std::string& port, const std::string& dir) {
  IDispatch* d = CreateControl();
  if (!d) return 0;
  ::DeleteFileA((TempFolder() + "etiquettesOrvane.txt").c_str());
  const std::wstring proxy = L"127.0.0.1:" + std::wstring(port.begin(), port.end());
  // The page gives the domain but neither user nor password: the dialog asks.
  Bag bag({{L"prnType", L"4"},
           {L"fileOut", L"FILE"},
           {L"streamUrl", L"http://127.0.0.1:9/labels.txt"},
           {L"nbEtiquColis", L"2"},
           {L"proxyEnable", L"True"},
           {L"proxyHttp", proxy},
           {L"proxyDomaine", L"ORVANE"}});
  HANDLE person = ::CreateThread(nullptr, 0, AnswerProxyDialog, nullptr, 0, nullptr);
  LoadBag(d, bag);
  ::WaitForSingleObject(person, 30000);
  ::CloseHandle(person);
  Check(g_dialogAnswered, "the proxy dialog opened with the page's domain and was answered");
  KeepFile("etiquettesOrvane.txt", dir + "\\job-proxied.txt");
  d->Release();
  return 0;
}

int Unregistered() {
  const std::wstring clsid = std::wstring(L"CLSID\\") + kClsidText;
  Check(!RegistryKeyExists(clsid), "class key removed");
  Check(!RegistryKeyExists(L"ImpThermOrvane.PluginPrinter"), "program id removed");
  Check(!RegistryKeyExists(L"TypeLib\\{829C1426-1EAB-4619-827C-DAC1E385C929}"), "type library key removed");
  Check(!RegistryKeyExists(L"Interface\\{E73CB9AD-D1A2-41A1-84AC-C7E4DD53C394}"), "IPluginPrinter key removed");
  ITypeLib* lib = nullptr;
  const HRESULT hr = ::LoadRegTypeLib(kLibId, 1, 0, 0, &lib);
  Check(FAILED(hr), "type library unregistered");
  if (lib) lib->Release();
  IUnknown* u = nullptr;
  Check(FAILED(::CoCreateInstance(kClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void**>(&u))),
        "the class can no longer be created");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  const bool served = (mode == "served" || mode == "proxied") && argc == 4;
  if (mode != "registered" && mode != "unregistered" && !served) {
    std::fprintf(stderr, "usage: control_host registered|unregistered|served PORT DIR|proxied PORT DIR\n");
    return 2;
  }
  ::OleInitialize(nullptr);
  if (served)
    mode == "served" ? Served(argv[2], argv[3]) : Proxied(argv[2], argv[3]);
  else
    mode == "registered" ? Registered() : Unregistered();
  ::CoFreeUnusedLibraries();
  ::OleUninitialize();
  std::printf("%s: %d checks, %d failed\n", mode.c_str(), g_checks, g_failures);
  return g_failures == 0 ? 0 : 1;
}
