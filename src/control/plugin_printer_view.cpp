#include "control/plugin_printer.h"

#include "control/com_support.h"
#include "control/server.h"

namespace imptherm::control {

// ---- IViewObject, IViewObject2

HRESULT PluginPrinter::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC dc, LPCRECTL bounds, LPCRECTL,
                            BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (!dc || !bounds) return E_INVALIDARG;
  return Guard([&] {
    RECT r{bounds->left, bounds->top, bounds->right, bounds->bottom};
    panel_.Draw(dc, r);
    return S_OK;
  });
}

HRESULT PluginPrinter::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE** colors) {
  if (colors) *colors = nullptr;
  return S_FALSE;
}

HRESULT PluginPrinter::Freeze(DWORD, LONG, void*, DWORD*) { return E_NOTIMPL; }
HRESULT PluginPrinter::Unfreeze(DWORD) { return E_NOTIMPL; }

HRESULT PluginPrinter::SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) {
  viewSink_ = sink;
  viewAspects_ = aspects;
  viewFlags_ = flags;
  return S_OK;
}

HRESULT PluginPrinter::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) {
  if (aspects) *aspects = viewAspects_;
  if (flags) *flags = viewFlags_;
  if (sink) {
    viewSink_.CopyTo(sink);
  }
  return S_OK;
}

HRESULT PluginPrinter::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) { return GetExtent(aspect, size); }

// ---- IProvideClassInfo2

HRESULT PluginPrinter::GetClassInfo(ITypeInfo** info) { return ControlTypeInfo(CLSID_PluginPrinter, info); }

HRESULT PluginPrinter::GetGUID(DWORD kind, GUID* guid) {
  if (!guid) return E_POINTER;
  if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
    *guid = GUID_NULL;
    return E_INVALIDARG;
  }
  *guid = DIID_IPluginPrinterEvents;
  return S_OK;
}

}  // namespace imptherm::control
