#include "control/plugin_printer.h"

#include "control/com_support.h"

namespace imptherm::control {

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
  if (FAILED(candidate->QueryInterface(DIID_IPluginPrinterEvents, reinterpret_cast<void**>(sink.GetAddressOf()))) &&
      FAILED(candidate->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(sink.GetAddressOf()))))
    return CONNECT_E_CANNOTCONNECT;
  *cookie = 1;
  return S_OK;
}

HRESULT PluginPrinter::EventPoint::Unadvise(DWORD cookie) {
  if (cookie != 1 || !sink) return CONNECT_E_NOCONNECTION;
  sink.Reset();
  return S_OK;
}

HRESULT PluginPrinter::EventPoint::EnumConnections(IEnumConnections** connections) {
  if (connections) *connections = nullptr;
  return E_NOTIMPL;
}

// ---- events

void PluginPrinter::Fire(DISPID id, VARIANTARG* args, UINT count) {
  if (!events_.sink || frozenEvents_ > 0) return;
  // A reference of its own: the sink may unadvise itself from inside the call.
  const Microsoft::WRL::ComPtr<IDispatch> sink = events_.sink;
  DISPPARAMS params{args, nullptr, count, 0};
  sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
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
