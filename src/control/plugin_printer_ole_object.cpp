#include "control/plugin_printer.h"

#include "control/com_support.h"
#include "control/server.h"

namespace imptherm::control {
namespace {

// The site comes before the parameters, so that the control knows the page
// when the container asks whether it is safe there.
constexpr DWORD kMiscStatus = OLEMISC_SIMPLEFRAME | OLEMISC_ACTSLIKELABEL | OLEMISC_SETCLIENTSITEFIRST;

}  // namespace

// ---- IOleObject

HRESULT PluginPrinter::SetClientSite(IOleClientSite* site) {
  if (!site) InPlaceDeactivate();
  site_ = site;
  return S_OK;
}

HRESULT PluginPrinter::GetClientSite(IOleClientSite** site) {
  if (!site) return E_POINTER;
  site_.CopyTo(site);
  return S_OK;
}

HRESULT PluginPrinter::SetHostNames(LPCOLESTR, LPCOLESTR) { return S_OK; }

HRESULT PluginPrinter::Close(DWORD) {
  InPlaceDeactivate();
  if (adviseHolder_) adviseHolder_->SendOnClose();
  return S_OK;
}

HRESULT PluginPrinter::SetMoniker(DWORD, IMoniker*) { return E_NOTIMPL; }

HRESULT PluginPrinter::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
  if (moniker) *moniker = nullptr;
  return E_NOTIMPL;
}

HRESULT PluginPrinter::InitFromData(IDataObject*, BOOL, DWORD) { return E_NOTIMPL; }

HRESULT PluginPrinter::GetClipboardData(DWORD, IDataObject** data) {
  if (data) *data = nullptr;
  return E_NOTIMPL;
}

HRESULT PluginPrinter::DoVerb(LONG verb, LPMSG, IOleClientSite* activeSite, LONG, HWND, LPCRECT position) {
  return Guard([&] {
    if (activeSite && !site_) SetClientSite(activeSite);
    switch (verb) {
      case OLEIVERB_PRIMARY:
      case OLEIVERB_SHOW:
      case OLEIVERB_INPLACEACTIVATE: {
        const HRESULT hr = ActivateInPlace(false);
        if (SUCCEEDED(hr) && position) SetObjectRects(position, position);
        return hr;
      }
      case OLEIVERB_UIACTIVATE: return ActivateInPlace(true);
      case OLEIVERB_HIDE:
        if (panel_.window()) ::ShowWindow(panel_.window(), SW_HIDE);
        return S_OK;
      default: return verb < 0 ? E_NOTIMPL : OLEOBJ_S_INVALIDVERB;
    }
  });
}

HRESULT PluginPrinter::ActivateInPlace(bool uiActivate) {
  if (!site_) return E_UNEXPECTED;
  if (!inPlaceActive_) {
    if (!inPlaceSite_ && FAILED(site_.As(&inPlaceSite_))) return E_NOINTERFACE;
    if (inPlaceSite_->CanInPlaceActivate() != S_OK) return E_FAIL;
    inPlaceSite_->OnInPlaceActivate();
    inPlaceActive_ = true;
    HWND parent = nullptr;
    inPlaceSite_->GetWindow(&parent);
    RECT position{}, clip{};
    OLEINPLACEFRAMEINFO frameInfo{};
    frameInfo.cb = sizeof frameInfo;
    inPlaceSite_->GetWindowContext(frame_.ReleaseAndGetAddressOf(), uiWindow_.ReleaseAndGetAddressOf(), &position,
                                   &clip, &frameInfo);
    if (!panel_.Create(parent, position)) {
      InPlaceDeactivate();
      return E_FAIL;
    }
    SetPixelSize(position.right - position.left, position.bottom - position.top);
  }
  if (uiActivate && !uiActive_) {
    uiActive_ = true;
    inPlaceSite_->OnUIActivate();
    auto* active = static_cast<IOleInPlaceActiveObject*>(this);
    if (frame_) frame_->SetActiveObject(active, L"PluginPrinter");
    if (uiWindow_) uiWindow_->SetActiveObject(active, L"PluginPrinter");
  }
  return S_OK;
}

HRESULT PluginPrinter::EnumVerbs(IEnumOLEVERB** verbs) { return ::OleRegEnumVerbs(CLSID_PluginPrinter, verbs); }
HRESULT PluginPrinter::Update() { return S_OK; }
HRESULT PluginPrinter::IsUpToDate() { return S_OK; }
HRESULT PluginPrinter::GetUserClassID(CLSID* clsid) { return GetClassID(clsid); }

HRESULT PluginPrinter::GetUserType(DWORD form, LPOLESTR* userType) {
  return ::OleRegGetUserType(CLSID_PluginPrinter, form, userType);
}

HRESULT PluginPrinter::SetExtent(DWORD aspect, SIZEL* size) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (!size) return E_POINTER;
  extent_ = *size;
  return S_OK;
}

HRESULT PluginPrinter::GetExtent(DWORD aspect, SIZEL* size) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (!size) return E_POINTER;
  *size = extent_;
  return S_OK;
}

HRESULT PluginPrinter::Advise(IAdviseSink* sink, DWORD* connection) {
  if (!adviseHolder_ && FAILED(::CreateOleAdviseHolder(adviseHolder_.GetAddressOf()))) return E_OUTOFMEMORY;
  return adviseHolder_->Advise(sink, connection);
}

HRESULT PluginPrinter::Unadvise(DWORD connection) {
  if (!adviseHolder_) return OLE_E_NOCONNECTION;
  return adviseHolder_->Unadvise(connection);
}

HRESULT PluginPrinter::EnumAdvise(IEnumSTATDATA** advise) {
  if (!advise) return E_POINTER;
  *advise = nullptr;
  if (!adviseHolder_) return S_OK;
  return adviseHolder_->EnumAdvise(advise);
}

HRESULT PluginPrinter::GetMiscStatus(DWORD, DWORD* status) {
  if (!status) return E_POINTER;
  *status = kMiscStatus;
  return S_OK;
}

HRESULT PluginPrinter::SetColorScheme(LOGPALETTE*) { return E_NOTIMPL; }

}  // namespace imptherm::control
