#pragma once
#include <windows.h>

#include <objsafe.h>
#include <ocidl.h>
#include <olectl.h>
#include <wrl/client.h>

#include <atomic>
#include <string>

#include "ImpThermOrvane_h.h"
#include "control/panel.h"

namespace imptherm::control {

// The PluginPrinter control: a panel in the page whose IPersistPropertyBag::
// Load is the print run. Everything else is the COM and ActiveX plumbing a
// host needs to create, embed, show and script it. The methods live by
// interface in plugin_printer_*.cpp (properties, persistence, OLE object,
// in-place activation, view, events); this file's .cpp makes the object.
class PluginPrinter final : public IPluginPrinter,
                            public IPersistPropertyBag,
                            public IPersistStreamInit,
                            public IOleObject,
                            public IOleInPlaceObject,
                            public IOleInPlaceActiveObject,
                            public IOleControl,
                            public IViewObject2,
                            public IProvideClassInfo2,
                            public IConnectionPointContainer,
                            public IObjectSafety,
                            private PanelEvents {
 public:
  static HRESULT Create(REFIID riid, void** out);

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IDispatch, answered from the type library
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO* exception, UINT* argError) override;

  // IPluginPrinter
#define IMPTHERM_PROPERTY(Name, Type)                         \
  HRESULT STDMETHODCALLTYPE get_##Name(Type* value) override; \
  HRESULT STDMETHODCALLTYPE put_##Name(Type value) override;
  IMPTHERM_PROPERTY(Alignment, TxAlignment)
  IMPTHERM_PROPERTY(AutoSize, VARIANT_BOOL)
  IMPTHERM_PROPERTY(BevelInner, TxBevelCut)
  IMPTHERM_PROPERTY(BevelOuter, TxBevelCut)
  IMPTHERM_PROPERTY(BorderStyle, TxBorderStyle)
  IMPTHERM_PROPERTY(Caption, BSTR)
  IMPTHERM_PROPERTY(Color, OLE_COLOR)
  IMPTHERM_PROPERTY(Ctl3D, VARIANT_BOOL)
  IMPTHERM_PROPERTY(UseDockManager, VARIANT_BOOL)
  IMPTHERM_PROPERTY(DockSite, VARIANT_BOOL)
  IMPTHERM_PROPERTY(DragCursor, short)
  IMPTHERM_PROPERTY(DragMode, TxDragMode)
  IMPTHERM_PROPERTY(Enabled, VARIANT_BOOL)
  IMPTHERM_PROPERTY(FullRepaint, VARIANT_BOOL)
  IMPTHERM_PROPERTY(Font, IFontDisp*)
  IMPTHERM_PROPERTY(Locked, VARIANT_BOOL)
  IMPTHERM_PROPERTY(ParentColor, VARIANT_BOOL)
  IMPTHERM_PROPERTY(ParentCtl3D, VARIANT_BOOL)
  IMPTHERM_PROPERTY(Visible, VARIANT_BOOL)
  IMPTHERM_PROPERTY(DoubleBuffered, VARIANT_BOOL)
  IMPTHERM_PROPERTY(Cursor, short)
  IMPTHERM_PROPERTY(HelpType, TxHelpType)
  IMPTHERM_PROPERTY(HelpKeyword, BSTR)
#undef IMPTHERM_PROPERTY
  HRESULT STDMETHODCALLTYPE putref_Font(IFontDisp* value) override;
  HRESULT STDMETHODCALLTYPE get_AlignDisabled(VARIANT_BOOL* value) override;
  HRESULT STDMETHODCALLTYPE get_VisibleDockClientCount(LONG* value) override;
  HRESULT STDMETHODCALLTYPE DrawTextBiDiModeFlagsReadingOnly(LONG* value) override;
  HRESULT STDMETHODCALLTYPE InitiateAction() override;
  HRESULT STDMETHODCALLTYPE IsRightToLeft(VARIANT_BOOL* value) override;
  HRESULT STDMETHODCALLTYPE UseRightToLeftReading(VARIANT_BOOL* value) override;
  HRESULT STDMETHODCALLTYPE UseRightToLeftScrollBar(VARIANT_BOOL* value) override;
  HRESULT STDMETHODCALLTYPE SetSubComponent(VARIANT_BOOL isSubComponent) override;

  // IPersist, IPersistPropertyBag, IPersistStreamInit
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override;
  HRESULT STDMETHODCALLTYPE InitNew() override;
  HRESULT STDMETHODCALLTYPE Load(IPropertyBag* bag, IErrorLog* errorLog) override;
  HRESULT STDMETHODCALLTYPE Save(IPropertyBag* bag, BOOL clearDirty, BOOL saveAll) override;
  HRESULT STDMETHODCALLTYPE IsDirty() override;
  HRESULT STDMETHODCALLTYPE Load(IStream* stream) override;
  HRESULT STDMETHODCALLTYPE Save(IStream* stream, BOOL clearDirty) override;
  HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER* size) override;

  // IOleObject
  HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* site) override;
  HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** site) override;
  HRESULT STDMETHODCALLTYPE SetHostNames(LPCOLESTR app, LPCOLESTR object) override;
  HRESULT STDMETHODCALLTYPE Close(DWORD saveOption) override;
  HRESULT STDMETHODCALLTYPE SetMoniker(DWORD which, IMoniker* moniker) override;
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) override;
  HRESULT STDMETHODCALLTYPE InitFromData(IDataObject* data, BOOL creation, DWORD reserved) override;
  HRESULT STDMETHODCALLTYPE GetClipboardData(DWORD reserved, IDataObject** data) override;
  HRESULT STDMETHODCALLTYPE DoVerb(LONG verb, LPMSG msg, IOleClientSite* activeSite, LONG index, HWND parent,
                                   LPCRECT position) override;
  HRESULT STDMETHODCALLTYPE EnumVerbs(IEnumOLEVERB** verbs) override;
  HRESULT STDMETHODCALLTYPE Update() override;
  HRESULT STDMETHODCALLTYPE IsUpToDate() override;
  HRESULT STDMETHODCALLTYPE GetUserClassID(CLSID* clsid) override;
  HRESULT STDMETHODCALLTYPE GetUserType(DWORD form, LPOLESTR* userType) override;
  HRESULT STDMETHODCALLTYPE SetExtent(DWORD aspect, SIZEL* size) override;
  HRESULT STDMETHODCALLTYPE GetExtent(DWORD aspect, SIZEL* size) override;
  HRESULT STDMETHODCALLTYPE Advise(IAdviseSink* sink, DWORD* connection) override;
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD connection) override;
  HRESULT STDMETHODCALLTYPE EnumAdvise(IEnumSTATDATA** advise) override;
  HRESULT STDMETHODCALLTYPE GetMiscStatus(DWORD aspect, DWORD* status) override;
  HRESULT STDMETHODCALLTYPE SetColorScheme(LOGPALETTE* palette) override;

  // IOleWindow, IOleInPlaceObject, IOleInPlaceActiveObject
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL enter) override;
  HRESULT STDMETHODCALLTYPE InPlaceDeactivate() override;
  HRESULT STDMETHODCALLTYPE UIDeactivate() override;
  HRESULT STDMETHODCALLTYPE SetObjectRects(LPCRECT position, LPCRECT clip) override;
  HRESULT STDMETHODCALLTYPE ReactivateAndUndo() override;
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG msg) override;
  HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL activate) override;
  HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL activate) override;
  HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frame) override;
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL enable) override;

  // IOleControl
  HRESULT STDMETHODCALLTYPE GetControlInfo(CONTROLINFO* info) override;
  HRESULT STDMETHODCALLTYPE OnMnemonic(MSG* msg) override;
  HRESULT STDMETHODCALLTYPE OnAmbientPropertyChange(DISPID id) override;
  HRESULT STDMETHODCALLTYPE FreezeEvents(BOOL freeze) override;

  // IViewObject, IViewObject2
  HRESULT STDMETHODCALLTYPE Draw(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* device, HDC targetDevice,
                                 HDC dc, LPCRECTL bounds, LPCRECTL metafileBounds,
                                 BOOL(STDMETHODCALLTYPE* cont)(ULONG_PTR), ULONG_PTR contArg) override;
  HRESULT STDMETHODCALLTYPE GetColorSet(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* device,
                                        HDC targetDevice, LOGPALETTE** colors) override;
  HRESULT STDMETHODCALLTYPE Freeze(DWORD aspect, LONG index, void* aspectInfo, DWORD* freeze) override;
  HRESULT STDMETHODCALLTYPE Unfreeze(DWORD freeze) override;
  HRESULT STDMETHODCALLTYPE SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) override;
  HRESULT STDMETHODCALLTYPE GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) override;
  HRESULT STDMETHODCALLTYPE GetExtent(DWORD aspect, LONG index, DVTARGETDEVICE* device, LPSIZEL size) override;

  // IProvideClassInfo, IProvideClassInfo2
  HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetGUID(DWORD kind, GUID* guid) override;

  // IConnectionPointContainer
  HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** points) override;
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;

  // IObjectSafety: safe only on the administrator's allowed sites
  HRESULT STDMETHODCALLTYPE GetInterfaceSafetyOptions(REFIID riid, DWORD* supported, DWORD* enabled) override;
  HRESULT STDMETHODCALLTYPE SetInterfaceSafetyOptions(REFIID riid, DWORD mask, DWORD enabled) override;

 private:
  PluginPrinter();
  ~PluginPrinter();

  // The one connection point, for IPluginPrinterEvents. It shares the
  // control's lifetime; the sink is held as the event interface (IDispatch).
  class EventPoint final : public IConnectionPoint {
   public:
    explicit EventPoint(PluginPrinter& owner) : owner_(owner) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return owner_.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return owner_.Release(); }
    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override;
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** container) override;
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override;
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** connections) override;

    Microsoft::WRL::ComPtr<IDispatch> sink;

   private:
    PluginPrinter& owner_;
  };

  // PanelEvents: forwarded to the sink.
  void CanResize(long& newWidth, long& newHeight, bool& resize) override;
  void Click() override;
  void ConstrainedResize(long& minWidth, long& minHeight, long& maxWidth, long& maxHeight) override;
  void DblClick() override;
  void Resized() override;
  void Fire(DISPID id, VARIANTARG* args, UINT count);

  HRESULT ActivateInPlace(bool uiActivate);
  // The top-level window of the container, which a modal dialog of the run
  // disables; none when the control has no site with a window.
  HWND ContainerWindow();
  std::wstring PageUrl();
  // Whether the page's site is on the allowed list; a refusal lasts as long
  // as the control.
  bool CheckSite();
  void PropertyChanged();
  void SetPixelSize(LONG width, LONG height);

  std::atomic<ULONG> refs_{1};
  Panel panel_;
  EventPoint events_;
  Microsoft::WRL::ComPtr<ITypeInfo> typeInfo_;
  Microsoft::WRL::ComPtr<IOleClientSite> site_;
  Microsoft::WRL::ComPtr<IOleInPlaceSite> inPlaceSite_;
  Microsoft::WRL::ComPtr<IOleInPlaceFrame> frame_;
  Microsoft::WRL::ComPtr<IOleInPlaceUIWindow> uiWindow_;
  Microsoft::WRL::ComPtr<IOleAdviseHolder> adviseHolder_;
  Microsoft::WRL::ComPtr<IAdviseSink> viewSink_;
  DWORD viewAspects_ = 0;
  DWORD viewFlags_ = 0;
  int frozenEvents_ = 0;
  bool inPlaceActive_ = false;
  bool uiActive_ = false;
  SIZEL extent_{};  // HIMETRIC
  // A container that never asks IObjectSafety (a desktop program) runs the
  // control as it is; one that asked and was refused gets no print run.
  enum class SiteCheck { NotAsked, Allowed, Refused };
  SiteCheck siteCheck_ = SiteCheck::NotAsked;
  std::wstring refusedPage_;
  DWORD safeOptions_ = 0;
};

}  // namespace imptherm::control
