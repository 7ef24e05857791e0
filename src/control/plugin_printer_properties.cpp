#include "control/plugin_printer.h"

#include <string>

#include "control/com_support.h"

namespace imptherm::control {

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
  return typeInfo_.CopyTo(info);
}

HRESULT PluginPrinter::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  return ::DispGetIDsOfNames(typeInfo_.Get(), names, count, ids);
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
IMPTHERM_ENUM_PROPERTY(HelpType, TxHelpType, helpByContext, bool, htContext)
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
  Microsoft::WRL::ComPtr<IFont> font;
  if (FAILED(value->QueryInterface(IID_IFont, reinterpret_cast<void**>(font.GetAddressOf())))) return E_INVALIDARG;
  panel_.SetFont(font.Get());
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

}  // namespace imptherm::control
