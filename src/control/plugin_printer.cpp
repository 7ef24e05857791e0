#include "control/plugin_printer.h"

#include <new>
#include <string>

#include "control/property_bag_source.h"
#include "control/server.h"
#include "platform/win32/cp1252.h"
#include "run/print_run.h"

namespace imptherm::control {
namespace {

// A fresh panel's size in pixels.
constexpr LONG kDefaultWidth = 185;
constexpr LONG kDefaultHeight = 41;
constexpr DWORD kMiscStatus = OLEMISC_SIMPLEFRAME | OLEMISC_ACTSLIKELABEL;

LONG PixelsToHimetric(LONG pixels, int dpi) { return ::MulDiv(pixels, 2540, dpi); }

int ScreenDpi(int index) {
  HDC screen = ::GetDC(nullptr);
  const int dpi = screen ? ::GetDeviceCaps(screen, index) : 96;
  if (screen) ::ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

// No C++ exception may leave a COM method: what escapes becomes a failure.
template <typename F>
HRESULT Guard(F&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

VARIANT_BOOL ToVariant(bool b) { return b ? VARIANT_TRUE : VARIANT_FALSE; }

template <typename T>
void ReleaseAndClear(T*& p) {
  if (p) p->Release();
  p = nullptr;
}

}  // namespace

PluginPrinter::PluginPrinter() : panel_(*this), events_(*this) {
  ObjectCreated();
  SetPixelSize(kDefaultWidth, kDefaultHeight);
}

PluginPrinter::~PluginPrinter() {
  InPlaceDeactivate();
  ReleaseAndClear(events_.sink);
  ReleaseAndClear(site_);
  ReleaseAndClear(adviseHolder_);
  ReleaseAndClear(viewSink_);
  ReleaseAndClear(typeInfo_);
  ObjectDestroyed();
}

HRESULT PluginPrinter::Create(REFIID riid, void** out) {
  return Guard([&] {
    auto* control = new PluginPrinter();
    HRESULT hr = ControlTypeInfo(IID_IPluginPrinter, &control->typeInfo_);
    if (SUCCEEDED(hr)) hr = control->QueryInterface(riid, out);
    control->Release();
    return hr;
  });
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

// ---- IDispatch

HRESULT PluginPrinter::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT PluginPrinter::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  typeInfo_->AddRef();
  *info = typeInfo_;
  return S_OK;
}

HRESULT PluginPrinter::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  return ::DispGetIDsOfNames(typeInfo_, names, count, ids);
}

HRESULT PluginPrinter::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                              EXCEPINFO* exception, UINT* argError) {
  if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  return typeInfo_->Invoke(static_cast<IPluginPrinter*>(this), id, flags, params, result, exception, argError);
}

// ---- IPluginPrinter

#define IMPTHERM_BOOL_PROPERTY(Name, field)                \
  HRESULT PluginPrinter::get_##Name(VARIANT_BOOL* value) { \
    if (!value) return E_POINTER;                          \
    *value = ToVariant(panel_.props.field);                \
    return S_OK;                                           \
  }                                                        \
  HRESULT PluginPrinter::put_##Name(VARIANT_BOOL value) {  \
    return Guard([&] {                                     \
      panel_.props.field = value != VARIANT_FALSE;         \
      PropertyChanged();                                   \
      return S_OK;                                         \
    });                                                    \
  }
IMPTHERM_BOOL_PROPERTY(AutoSize, autoSize)
IMPTHERM_BOOL_PROPERTY(Ctl3D, ctl3D)
IMPTHERM_BOOL_PROPERTY(UseDockManager, useDockManager)
IMPTHERM_BOOL_PROPERTY(DockSite, dockSite)
IMPTHERM_BOOL_PROPERTY(Enabled, enabled)
IMPTHERM_BOOL_PROPERTY(FullRepaint, fullRepaint)
IMPTHERM_BOOL_PROPERTY(Locked, locked)
IMPTHERM_BOOL_PROPERTY(ParentColor, parentColor)
IMPTHERM_BOOL_PROPERTY(ParentCtl3D, parentCtl3D)
IMPTHERM_BOOL_PROPERTY(Visible, visible)
IMPTHERM_BOOL_PROPERTY(DoubleBuffered, doubleBuffered)
#undef IMPTHERM_BOOL_PROPERTY

// Enumerations travel as their numbers; a number outside the enumeration is
// refused rather than stored.
#define IMPTHERM_ENUM_PROPERTY(Name, Type, field, FieldType, last) \
  HRESULT PluginPrinter::get_##Name(Type* value) {                 \
    if (!value) return E_POINTER;                                  \
    *value = static_cast<Type>(panel_.props.field);                \
    return S_OK;                                                   \
  }                                                                \
  HRESULT PluginPrinter::put_##Name(Type value) {                  \
    if (value < 0 || value > (last)) return E_INVALIDARG;          \
    return Guard([&] {                                             \
      panel_.props.field = static_cast<FieldType>(value);          \
      PropertyChanged();                                           \
      return S_OK;                                                 \
    });                                                            \
  }
IMPTHERM_ENUM_PROPERTY(Alignment, TxAlignment, alignment, TextAlignment, taCenter)
IMPTHERM_ENUM_PROPERTY(BevelInner, TxBevelCut, bevelInner, Bevel, bvSpace)
IMPTHERM_ENUM_PROPERTY(BevelOuter, TxBevelCut, bevelOuter, Bevel, bvSpace)
IMPTHERM_ENUM_PROPERTY(BorderStyle, TxBorderStyle, borderSingle, bool, bsSingle)
IMPTHERM_ENUM_PROPERTY(DragMode, TxDragMode, dragAutomatic, bool, dmAutomatic)
IMPTHERM_ENUM_PROPERTY(HelpType, TxHelpType, helpKeywordType, bool, htContext)
#undef IMPTHERM_ENUM_PROPERTY

#define IMPTHERM_SHORT_PROPERTY(Name, field)        \
  HRESULT PluginPrinter::get_##Name(short* value) { \
    if (!value) return E_POINTER;                   \
    *value = panel_.props.field;                    \
    return S_OK;                                    \
  }                                                 \
  HRESULT PluginPrinter::put_##Name(short value) {  \
    panel_.props.field = value;                     \
    return S_OK;                                    \
  }
IMPTHERM_SHORT_PROPERTY(DragCursor, dragCursor)
IMPTHERM_SHORT_PROPERTY(Cursor, cursor)
#undef IMPTHERM_SHORT_PROPERTY

#define IMPTHERM_TEXT_PROPERTY(Name, field)                                                     \
  HRESULT PluginPrinter::get_##Name(BSTR* value) {                                              \
    if (!value) return E_POINTER;                                                               \
    const std::wstring& text = panel_.props.field;                                              \
    *value = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));                  \
    return *value ? S_OK : E_OUTOFMEMORY;                                                       \
  }                                                                                             \
  HRESULT PluginPrinter::put_##Name(BSTR value) {                                               \
    return Guard([&] {                                                                          \
      panel_.props.field = value ? std::wstring(value, ::SysStringLen(value)) : std::wstring(); \
      PropertyChanged();                                                                        \
      return S_OK;                                                                              \
    });                                                                                         \
  }
IMPTHERM_TEXT_PROPERTY(Caption, caption)
IMPTHERM_TEXT_PROPERTY(HelpKeyword, helpKeyword)
#undef IMPTHERM_TEXT_PROPERTY

HRESULT PluginPrinter::get_Color(OLE_COLOR* value) {
  if (!value) return E_POINTER;
  *value = panel_.props.color;
  return S_OK;
}

HRESULT PluginPrinter::put_Color(OLE_COLOR value) {
  COLORREF rgb = 0;
  if (FAILED(::OleTranslateColor(value, nullptr, &rgb))) return CTL_E_INVALIDPROPERTYVALUE;
  panel_.props.color = value;
  PropertyChanged();
  return S_OK;
}

HRESULT PluginPrinter::get_Font(IFontDisp** value) {
  if (!value) return E_POINTER;
  *value = nullptr;
  IFont* font = panel_.Font();
  if (!font) return E_OUTOFMEMORY;
  return font->QueryInterface(IID_IFontDisp, reinterpret_cast<void**>(value));
}

// The panel keeps its own copy of the font either way, so that a page
// changing its font object afterwards does not reach into the control.
HRESULT PluginPrinter::put_Font(IFontDisp* value) {
  if (!value) return E_INVALIDARG;
  IFont* font = nullptr;
  if (FAILED(value->QueryInterface(IID_IFont, reinterpret_cast<void**>(&font)))) return E_INVALIDARG;
  panel_.SetFont(font);
  font->Release();
  PropertyChanged();
  return S_OK;
}

HRESULT PluginPrinter::putref_Font(IFontDisp* value) { return put_Font(value); }

HRESULT PluginPrinter::get_AlignDisabled(VARIANT_BOOL* value) {
  if (!value) return E_POINTER;
  *value = VARIANT_FALSE;
  return S_OK;
}

HRESULT PluginPrinter::get_VisibleDockClientCount(LONG* value) {
  if (!value) return E_POINTER;
  *value = 0;  // nothing ever docks into the panel
  return S_OK;
}

HRESULT PluginPrinter::DrawTextBiDiModeFlagsReadingOnly(LONG* value) {
  if (!value) return E_POINTER;
  *value = 0;  // left-to-right reading
  return S_OK;
}

HRESULT PluginPrinter::InitiateAction() { return S_OK; }

HRESULT PluginPrinter::IsRightToLeft(VARIANT_BOOL* value) {
  if (!value) return E_POINTER;
  *value = VARIANT_FALSE;
  return S_OK;
}

HRESULT PluginPrinter::UseRightToLeftReading(VARIANT_BOOL* value) { return IsRightToLeft(value); }
HRESULT PluginPrinter::UseRightToLeftScrollBar(VARIANT_BOOL* value) { return IsRightToLeft(value); }

HRESULT PluginPrinter::SetSubComponent(VARIANT_BOOL isSubComponent) {
  panel_.props.subComponent = isSubComponent != VARIANT_FALSE;
  return S_OK;
}

void PluginPrinter::PropertyChanged() {
  panel_.Refresh();
  if (viewSink_) viewSink_->OnViewChange(DVASPECT_CONTENT, -1);
}

// ---- IPersist, IPersistPropertyBag, IPersistStreamInit

HRESULT PluginPrinter::GetClassID(CLSID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = CLSID_PluginPrinter;
  return S_OK;
}

HRESULT PluginPrinter::InitNew() { return S_OK; }

// The print run. The host always gets S_OK; how the run ended is in the
// logs and in what the progress window showed.
HRESULT PluginPrinter::Load(IPropertyBag* bag, IErrorLog* errorLog) {
  try {
    ControlModule& shared = ControlModule::Get();
    // A page script reached through a dialog's message loop must not start a
    // second run on top of the first one.
    if (shared.running) return S_OK;
    struct RunScope {
      PluginPrinter& control;
      ControlModule& shared;
      RunScope(PluginPrinter& c, ControlModule& m) : control(c), shared(m) {
        control.AddRef();  // the page may drop the control while a dialog is up
        shared.running = true;
        shared.ui.panelCaption = [this](const std::string& caption) {
          control.panel_.props.caption = win32::Widen(caption);
          control.PropertyChanged();
        };
      }
      ~RunScope() {
        shared.ui.panelCaption = nullptr;
        shared.running = false;
        control.Release();
      }
    } scope(*this, shared);
    PropertyBagSource source(bag, errorLog);
    PrintRun(shared.module).Load(source);
  } catch (...) {
  }
  return S_OK;
}

HRESULT PluginPrinter::Save(IPropertyBag*, BOOL, BOOL) { return S_OK; }
HRESULT PluginPrinter::IsDirty() { return S_FALSE; }
// Nothing of the control is kept between pages: the stream holds nothing.
HRESULT PluginPrinter::Load(IStream*) { return S_OK; }
HRESULT PluginPrinter::Save(IStream*, BOOL) { return S_OK; }

HRESULT PluginPrinter::GetSizeMax(ULARGE_INTEGER* size) {
  if (!size) return E_POINTER;
  size->QuadPart = 0;
  return S_OK;
}

// ---- IOleObject

HRESULT PluginPrinter::SetClientSite(IOleClientSite* site) {
  if (!site) InPlaceDeactivate();
  if (site) site->AddRef();
  ReleaseAndClear(site_);
  site_ = site;
  return S_OK;
}

HRESULT PluginPrinter::GetClientSite(IOleClientSite** site) {
  if (!site) return E_POINTER;
  *site = site_;
  if (site_) site_->AddRef();
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
    if (!inPlaceSite_ && FAILED(site_->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&inPlaceSite_))))
      return E_NOINTERFACE;
    if (inPlaceSite_->CanInPlaceActivate() != S_OK) return E_FAIL;
    inPlaceSite_->OnInPlaceActivate();
    inPlaceActive_ = true;
    HWND parent = nullptr;
    inPlaceSite_->GetWindow(&parent);
    RECT position{}, clip{};
    OLEINPLACEFRAMEINFO frameInfo{};
    frameInfo.cb = sizeof frameInfo;
    ReleaseAndClear(frame_);
    ReleaseAndClear(uiWindow_);
    inPlaceSite_->GetWindowContext(&frame_, &uiWindow_, &position, &clip, &frameInfo);
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
  if (!adviseHolder_ && FAILED(::CreateOleAdviseHolder(&adviseHolder_))) return E_OUTOFMEMORY;
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

// ---- IOleWindow, IOleInPlaceObject, IOleInPlaceActiveObject

HRESULT PluginPrinter::GetWindow(HWND* window) {
  if (!window) return E_POINTER;
  *window = panel_.window();
  return *window ? S_OK : E_FAIL;
}

HRESULT PluginPrinter::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

HRESULT PluginPrinter::InPlaceDeactivate() {
  UIDeactivate();
  panel_.Destroy();
  if (inPlaceActive_) {
    inPlaceActive_ = false;
    if (inPlaceSite_) inPlaceSite_->OnInPlaceDeactivate();
  }
  ReleaseAndClear(frame_);
  ReleaseAndClear(uiWindow_);
  ReleaseAndClear(inPlaceSite_);
  return S_OK;
}

HRESULT PluginPrinter::UIDeactivate() {
  if (!uiActive_) return S_OK;
  uiActive_ = false;
  if (frame_) frame_->SetActiveObject(nullptr, nullptr);
  if (uiWindow_) uiWindow_->SetActiveObject(nullptr, nullptr);
  if (inPlaceSite_) inPlaceSite_->OnUIDeactivate(FALSE);
  return S_OK;
}

HRESULT PluginPrinter::SetObjectRects(LPCRECT position, LPCRECT) {
  if (!position) return E_POINTER;
  return Guard([&] {
    panel_.SetBounds(*position);
    return S_OK;
  });
}

HRESULT PluginPrinter::ReactivateAndUndo() { return E_NOTIMPL; }
HRESULT PluginPrinter::TranslateAccelerator(LPMSG) { return S_FALSE; }
HRESULT PluginPrinter::OnFrameWindowActivate(BOOL) { return S_OK; }
HRESULT PluginPrinter::OnDocWindowActivate(BOOL) { return S_OK; }
HRESULT PluginPrinter::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) { return S_OK; }
HRESULT PluginPrinter::EnableModeless(BOOL) { return S_OK; }

// ---- IOleControl

HRESULT PluginPrinter::GetControlInfo(CONTROLINFO* info) {
  if (!info) return E_POINTER;
  info->hAccel = nullptr;
  info->cAccel = 0;
  info->dwFlags = 0;
  return S_OK;
}

HRESULT PluginPrinter::OnMnemonic(MSG*) { return E_NOTIMPL; }
HRESULT PluginPrinter::OnAmbientPropertyChange(DISPID) { return S_OK; }

HRESULT PluginPrinter::FreezeEvents(BOOL freeze) {
  if (freeze)
    ++frozenEvents_;
  else if (frozenEvents_ > 0)
    --frozenEvents_;
  return S_OK;
}

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
  if (sink) sink->AddRef();
  ReleaseAndClear(viewSink_);
  viewSink_ = sink;
  viewAspects_ = aspects;
  viewFlags_ = flags;
  return S_OK;
}

HRESULT PluginPrinter::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) {
  if (aspects) *aspects = viewAspects_;
  if (flags) *flags = viewFlags_;
  if (sink) {
    *sink = viewSink_;
    if (viewSink_) viewSink_->AddRef();
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

// ---- IConnectionPointContainer and the event connection point

namespace {

// Enumerates the control's one connection point; holds it (and so the
// control) while the enumerator lives.
class SinglePointEnum final : public IEnumConnectionPoints {
 public:
  SinglePointEnum(IConnectionPoint* point, ULONG position) : point_(point), position_(position) { point_->AddRef(); }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IEnumConnectionPoints) {
      *out = static_cast<IEnumConnectionPoints*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE Next(ULONG count, IConnectionPoint** points, ULONG* fetched) override {
    if (!points) return E_POINTER;
    if (count > 1 && !fetched) return E_INVALIDARG;
    ULONG n = 0;
    if (count > 0 && position_ == 0) {
      points[0] = point_;
      point_->AddRef();
      position_ = n = 1;
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
    const ULONG left = 1 - position_;
    position_ = count >= left ? 1 : position_ + count;
    return count <= left ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    position_ = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumConnectionPoints** copy) override {
    if (!copy) return E_POINTER;
    return Guard([&] {
      *copy = new SinglePointEnum(point_, position_);
      return S_OK;
    });
  }

 private:
  ~SinglePointEnum() { point_->Release(); }
  std::atomic<ULONG> refs_{1};
  IConnectionPoint* point_;
  ULONG position_;
};

}  // namespace

HRESULT PluginPrinter::EnumConnectionPoints(IEnumConnectionPoints** points) {
  if (!points) return E_POINTER;
  return Guard([&] {
    *points = new SinglePointEnum(&events_, 0);
    return S_OK;
  });
}

HRESULT PluginPrinter::FindConnectionPoint(REFIID riid, IConnectionPoint** point) {
  if (!point) return E_POINTER;
  *point = nullptr;
  if (riid != DIID_IPluginPrinterEvents) return CONNECT_E_NOCONNECTION;
  *point = &events_;
  events_.AddRef();
  return S_OK;
}

HRESULT PluginPrinter::EventPoint::QueryInterface(REFIID riid, void** out) {
  if (!out) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IConnectionPoint) {
    *out = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

HRESULT PluginPrinter::EventPoint::GetConnectionInterface(IID* iid) {
  if (!iid) return E_POINTER;
  *iid = DIID_IPluginPrinterEvents;
  return S_OK;
}

HRESULT PluginPrinter::EventPoint::GetConnectionPointContainer(IConnectionPointContainer** container) {
  if (!container) return E_POINTER;
  *container = static_cast<IConnectionPointContainer*>(&owner_);
  owner_.AddRef();
  return S_OK;
}

// One sink at a time: the control keeps "the current sink".
HRESULT PluginPrinter::EventPoint::Advise(IUnknown* candidate, DWORD* cookie) {
  if (!candidate || !cookie) return E_POINTER;
  *cookie = 0;
  if (sink) return CONNECT_E_ADVISELIMIT;
  IDispatch* dispatch = nullptr;
  if (FAILED(candidate->QueryInterface(DIID_IPluginPrinterEvents, reinterpret_cast<void**>(&dispatch))) &&
      FAILED(candidate->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch))))
    return CONNECT_E_CANNOTCONNECT;
  sink = dispatch;
  *cookie = 1;
  return S_OK;
}

HRESULT PluginPrinter::EventPoint::Unadvise(DWORD cookie) {
  if (cookie != 1 || !sink) return CONNECT_E_NOCONNECTION;
  ReleaseAndClear(sink);
  return S_OK;
}

HRESULT PluginPrinter::EventPoint::EnumConnections(IEnumConnections** connections) {
  if (connections) *connections = nullptr;
  return E_NOTIMPL;
}

// ---- events

void PluginPrinter::Fire(DISPID id, VARIANTARG* args, UINT count) {
  IDispatch* sink = events_.sink;
  if (!sink || frozenEvents_ > 0) return;
  sink->AddRef();  // the sink may unadvise itself from inside the call
  DISPPARAMS params{args, nullptr, count, 0};
  sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
  sink->Release();
}

namespace {
VARIANTARG ByRef(LONG* value) {
  VARIANTARG v;
  ::VariantInit(&v);
  v.vt = VT_I4 | VT_BYREF;
  v.plVal = value;
  return v;
}
}  // namespace

void PluginPrinter::CanResize(long& newWidth, long& newHeight, bool& resize) {
  LONG width = newWidth, height = newHeight;
  VARIANT_BOOL allow = ToVariant(resize);
  VARIANTARG args[3];
  ::VariantInit(&args[0]);
  args[0].vt = VT_BOOL | VT_BYREF;
  args[0].pboolVal = &allow;
  args[1] = ByRef(&height);
  args[2] = ByRef(&width);
  Fire(1, args, 3);
  newWidth = width;
  newHeight = height;
  resize = allow != VARIANT_FALSE;
}

void PluginPrinter::Click() { Fire(2, nullptr, 0); }

void PluginPrinter::ConstrainedResize(long& minWidth, long& minHeight, long& maxWidth, long& maxHeight) {
  LONG values[4] = {minWidth, minHeight, maxWidth, maxHeight};
  VARIANTARG args[4] = {ByRef(&values[3]), ByRef(&values[2]), ByRef(&values[1]), ByRef(&values[0])};
  Fire(3, args, 4);
  minWidth = values[0];
  minHeight = values[1];
  maxWidth = values[2];
  maxHeight = values[3];
}

void PluginPrinter::DblClick() { Fire(7, nullptr, 0); }
void PluginPrinter::Resized() { Fire(16, nullptr, 0); }

}  // namespace imptherm::control
