// The in-process server: entry points, class factory and registration.
#include "control/server.h"

#include <initguid.h>

#include <wrl/client.h>
#include <atomic>
#include <new>
#include <string>

#include "ImpThermOrvane_h.h"
#include "control/panel.h"
#include "control/plugin_printer.h"
#include "run/core_stages.h"

namespace imptherm::control {
namespace {

HINSTANCE g_instance = nullptr;
std::atomic<long> g_objects{0};
std::atomic<long> g_locks{0};
// Given back by DllCanUnloadNow, not by a static destructor: those run while
// the DLL is being detached, when OLE may be gone already.
ITypeLib* g_typeLib = nullptr;

constexpr wchar_t kProgId[] = L"ImpThermOrvane.PluginPrinter";
constexpr wchar_t kClassName[] = L"PluginPrinter Control";
// OLEMISC_SIMPLEFRAME | OLEMISC_ACTSLIKELABEL | OLEMISC_SETCLIENTSITEFIRST
constexpr wchar_t kMiscStatus[] = L"204800";

std::wstring GuidText(REFGUID guid) {
  wchar_t text[40] = {};
  ::StringFromGUID2(guid, text, 40);
  return text;
}

std::wstring ModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(g_instance, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

class ClassFactory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *out = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  // The factory is static; its references only keep the server loaded.
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++g_locks); }
  ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--g_locks); }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return PluginPrinter::Create(riid, out);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock)
      ++g_locks;
    else
      --g_locks;
    return S_OK;
  }
};

ClassFactory g_factory;

// One registry value under HKEY_CLASSES_ROOT; a null name is the key's default.
bool SetValue(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
  HKEY handle = nullptr;
  if (::RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr) !=
      ERROR_SUCCESS)
    return false;
  const auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
  const bool ok =
      ::RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes) == ERROR_SUCCESS;
  ::RegCloseKey(handle);
  return ok;
}

bool DeleteTree(const std::wstring& key) {
  const LSTATUS status = ::RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
  // Some systems empty the key but leave the key itself.
  if (status == ERROR_SUCCESS) ::RegDeleteKeyW(HKEY_CLASSES_ROOT, key.c_str());
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

HRESULT RegisterClassKeys(const std::wstring& path) {
  const std::wstring clsid = L"CLSID\\" + GuidText(CLSID_PluginPrinter);
  const bool ok = SetValue(clsid, nullptr, kClassName) && SetValue(clsid + L"\\InprocServer32", nullptr, path) &&
                  SetValue(clsid + L"\\InprocServer32", L"ThreadingModel", L"Apartment") &&
                  SetValue(clsid + L"\\ProgID", nullptr, kProgId) &&
                  SetValue(clsid + L"\\TypeLib", nullptr, GuidText(LIBID_ImpThermOrvane)) &&
                  SetValue(clsid + L"\\Version", nullptr, L"1.0") && SetValue(clsid + L"\\Control", nullptr, L"") &&
                  SetValue(clsid + L"\\ToolboxBitmap32", nullptr, path + L",1") &&
                  SetValue(clsid + L"\\MiscStatus", nullptr, L"0") &&
                  SetValue(clsid + L"\\MiscStatus\\1", nullptr, kMiscStatus) &&
                  SetValue(kProgId, nullptr, kClassName) &&
                  SetValue(std::wstring(kProgId) + L"\\CLSID", nullptr, GuidText(CLSID_PluginPrinter));
  return ok ? S_OK : SELFREG_E_CLASS;
}

}  // namespace

HINSTANCE ServerInstance() { return g_instance; }
void ObjectCreated() { ++g_objects; }
void ObjectDestroyed() { --g_objects; }

ITypeLib* ControlTypeLib() {
  if (!g_typeLib) ::LoadTypeLibEx(ModulePath().c_str(), REGKIND_NONE, &g_typeLib);
  return g_typeLib;
}

HRESULT ControlTypeInfo(REFGUID guid, ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = nullptr;
  ITypeLib* lib = ControlTypeLib();
  if (!lib) return TYPE_E_CANTLOADLIBRARY;
  return lib->GetTypeInfoOfGuid(guid, info);
}

ControlModule::ControlModule() : Win32Platform(ServerInstance()), module(platform) {
  module.stages = MakeCoreStages(module);
}

ControlModule& ControlModule::Get() {
  static ControlModule instance;
  return instance;
}

}  // namespace imptherm::control

using namespace imptherm::control;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_instance = instance;
    ::DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  if (g_objects != 0 || g_locks != 0) return S_FALSE;
  // The window procedures live in this module: their classes must not
  // outlive it.
  Panel::UnregisterWindowClass(g_instance);
  imptherm::win32::UnregisterProgressClass(g_instance);
  imptherm::win32::UnregisterChooserClass(g_instance);
  if (g_typeLib) {
    g_typeLib->Release();
    g_typeLib = nullptr;
  }
  return S_OK;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (clsid != CLSID_PluginPrinter) return CLASS_E_CLASSNOTAVAILABLE;
  return g_factory.QueryInterface(riid, out);
}

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  const std::wstring path = ModulePath();
  if (path.empty()) return SELFREG_E_CLASS;
  Microsoft::WRL::ComPtr<ITypeLib> lib;
  if (FAILED(::LoadTypeLibEx(path.c_str(), REGKIND_REGISTER, lib.GetAddressOf()))) return SELFREG_E_TYPELIB;
  return RegisterClassKeys(path);
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  HRESULT result = S_OK;
  ITypeLib* lib = ControlTypeLib();
  TLIBATTR* attr = nullptr;
  if (lib && SUCCEEDED(lib->GetLibAttr(&attr))) {
    const HRESULT hr =
        ::UnRegisterTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid, attr->syskind);
    // Already gone is what we want.
    if (FAILED(hr) && hr != TYPE_E_REGISTRYACCESS && hr != TYPE_E_LIBNOTREGISTERED) result = SELFREG_E_TYPELIB;
    lib->ReleaseTLibAttr(attr);
  }
  if (!DeleteTree(L"CLSID\\" + GuidText(CLSID_PluginPrinter)) || !DeleteTree(kProgId)) result = SELFREG_E_CLASS;
  return result;
}
