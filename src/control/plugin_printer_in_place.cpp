#include "control/plugin_printer.h"

#include "control/com_support.h"

namespace imptherm::control {

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
  frame_.Reset();
  uiWindow_.Reset();
  inPlaceSite_.Reset();
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

}  // namespace imptherm::control
