#include "control/plugin_printer.h"

#include "control/com_support.h"
#include "control/server.h"

namespace imptherm::control {
namespace {

// A fresh panel's size in pixels.
constexpr LONG kDefaultWidth = 185;
constexpr LONG kDefaultHeight = 41;

LONG PixelsToHimetric(LONG pixels, int dpi) { return ::MulDiv(pixels, 2540, dpi); }

int ScreenDpi(int index) {
  HDC screen = ::GetDC(nullptr);
  const int dpi = screen ? ::GetDeviceCaps(screen, index) : 96;
  if (screen) ::ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

}  // namespace

PluginPrinter::PluginPrinter() : panel_(*this), events_(*this) {
  ObjectCreated();
  SetPixelSize(kDefaultWidth, kDefaultHeight);
}

PluginPrinter::~PluginPrinter() {
  InPlaceDeactivate();
  // The host's objects go back in this order, before the module counts the
  // control gone.
  events_.sink.Reset();
  site_.Reset();
  adviseHolder_.Reset();
  viewSink_.Reset();
  typeInfo_.Reset();
  ObjectDestroyed();
}

HRESULT PluginPrinter::Create(REFIID riid, void** out) {
  return Guard([&] {
    auto* control = new PluginPrinter();
    HRESULT hr = ControlTypeInfo(IID_IPluginPrinter, control->typeInfo_.GetAddressOf());
    if (SUCCEEDED(hr)) hr = control->QueryInterface(riid, out);
    control->Release();
    return hr;
  });
}

HWND PluginPrinter::ContainerWindow() {
  HWND window = panel_.window();
  Microsoft::WRL::ComPtr<IOleWindow> siteWindow;
  if (!window && site_ && SUCCEEDED(site_.As(&siteWindow))) siteWindow->GetWindow(&window);
  return window ? ::GetAncestor(window, GA_ROOT) : nullptr;
}

void PluginPrinter::SetPixelSize(LONG width, LONG height) {
  extent_.cx = PixelsToHimetric(width, ScreenDpi(LOGPIXELSX));
  extent_.cy = PixelsToHimetric(height, ScreenDpi(LOGPIXELSY));
}

// ---- IUnknown

HRESULT PluginPrinter::QueryInterface(REFIID riid, void** out) {
  if (!out) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IPluginPrinter)
    *out = static_cast<IPluginPrinter*>(this);
  else if (riid == IID_IPersist || riid == IID_IPersistPropertyBag)
    *out = static_cast<IPersistPropertyBag*>(this);
  else if (riid == IID_IPersistStreamInit)
    *out = static_cast<IPersistStreamInit*>(this);
  else if (riid == IID_IOleObject)
    *out = static_cast<IOleObject*>(this);
  else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceObject)
    *out = static_cast<IOleInPlaceObject*>(this);
  else if (riid == IID_IOleInPlaceActiveObject)
    *out = static_cast<IOleInPlaceActiveObject*>(this);
  else if (riid == IID_IOleControl)
    *out = static_cast<IOleControl*>(this);
  else if (riid == IID_IViewObject || riid == IID_IViewObject2)
    *out = static_cast<IViewObject2*>(this);
  else if (riid == IID_IProvideClassInfo || riid == IID_IProvideClassInfo2)
    *out = static_cast<IProvideClassInfo2*>(this);
  else if (riid == IID_IConnectionPointContainer)
    *out = static_cast<IConnectionPointContainer*>(this);
  else if (riid == IID_IObjectSafety)
    *out = static_cast<IObjectSafety*>(this);
  else {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG PluginPrinter::AddRef() { return ++refs_; }

ULONG PluginPrinter::Release() {
  const ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

}  // namespace imptherm::control
