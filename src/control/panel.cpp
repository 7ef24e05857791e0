#include "control/panel.h"

#include <algorithm>
#include <utility>

#include "control/server.h"

namespace imptherm::control {
namespace {

constexpr wchar_t kPanelClass[] = L"TImpThermPanel";

bool RegisterPanelClass(HINSTANCE instance, WNDPROC proc) {
  WNDCLASSEXW wc{};
  if (::GetClassInfoExW(instance, kPanelClass, &wc)) return true;
  wc.cbSize = sizeof wc;
  wc.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = proc;
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
  wc.lpszClassName = kPanelClass;
  return ::RegisterClassExW(&wc) != 0;
}

UINT EdgeFor(Bevel bevel, bool inner) {
  switch (bevel) {
    case Bevel::Lowered: return inner ? BDR_SUNKENINNER : BDR_SUNKENOUTER;
    case Bevel::Raised: return inner ? BDR_RAISEDINNER : BDR_RAISEDOUTER;
    default: return 0;
  }
}

// One bevel ring: drawn, or left as space, or nothing at all.
void DrawBevel(HDC dc, RECT& r, Bevel bevel, bool inner) {
  if (bevel == Bevel::None) return;
  if (UINT edge = EdgeFor(bevel, inner)) ::DrawEdge(dc, &r, edge, BF_RECT);
  ::InflateRect(&r, -1, -1);
}

}  // namespace

Panel::~Panel() { Destroy(); }

IFont* Panel::Font() {
  if (!font_) {
    FONTDESC desc{};
    desc.cbSizeofstruct = sizeof desc;
    desc.lpstrName = const_cast<LPOLESTR>(L"MS Sans Serif");
    desc.cySize.int64 = 80000;  // 8 points, in ten-thousandths
    desc.sWeight = FW_NORMAL;
    desc.sCharset = DEFAULT_CHARSET;
    ::OleCreateFontIndirect(&desc, IID_IFont, reinterpret_cast<void**>(font_.GetAddressOf()));
  }
  return font_.Get();
}

void Panel::SetFont(IFont* font) {
  Microsoft::WRL::ComPtr<IFont> copy;
  if (font && FAILED(font->Clone(copy.GetAddressOf()))) copy.Reset();
  font_ = std::move(copy);
  Refresh();
}

bool Panel::Create(HWND parent, const RECT& position) {
  if (window_) return true;
  HINSTANCE instance = ServerInstance();
  if (!RegisterPanelClass(instance, &Panel::WindowProc)) return false;
  DWORD style = WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
  if (props.visible) style |= WS_VISIBLE;
  if (!props.enabled) style |= WS_DISABLED;
  window_ = ::CreateWindowExW(0, kPanelClass, props.caption.c_str(), style, position.left, position.top,
                              position.right - position.left, position.bottom - position.top, parent, nullptr, instance,
                              this);
  return window_ != nullptr;
}

void Panel::Destroy() {
  if (!window_) return;
  HWND window = window_;
  window_ = nullptr;
  ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  ::DestroyWindow(window);
}

void Panel::SetBounds(const RECT& position) {
  if (!window_) return;
  RECT current{};
  ::GetWindowRect(window_, &current);
  long width = position.right - position.left;
  long height = position.bottom - position.top;
  bool resize = true;
  events_.CanResize(width, height, resize);
  if (!resize) {
    width = current.right - current.left;
    height = current.bottom - current.top;
  }
  long minWidth = 0, minHeight = 0, maxWidth = 0, maxHeight = 0;
  events_.ConstrainedResize(minWidth, minHeight, maxWidth, maxHeight);
  // Zero means no constraint, as a fresh panel has none.
  if (maxWidth > 0) width = std::min(width, maxWidth);
  if (maxHeight > 0) height = std::min(height, maxHeight);
  if (minWidth > 0) width = std::max(width, minWidth);
  if (minHeight > 0) height = std::max(height, minHeight);
  ::MoveWindow(window_, position.left, position.top, std::max(width, 0L), std::max(height, 0L), TRUE);
}

void Panel::Refresh() {
  if (!window_) return;
  ::SetWindowTextW(window_, props.caption.c_str());
  ::ShowWindow(window_, props.visible ? SW_SHOWNA : SW_HIDE);
  ::EnableWindow(window_, props.enabled);
  ::InvalidateRect(window_, nullptr, TRUE);
}

void Panel::Draw(HDC dc, const RECT& bounds) {
  RECT r = bounds;
  COLORREF color = RGB(192, 192, 192);
  ::OleTranslateColor(props.color, nullptr, &color);
  HBRUSH brush = ::CreateSolidBrush(color);
  ::FillRect(dc, &r, brush);
  ::DeleteObject(brush);
  if (props.borderSingle) {
    ::DrawEdge(dc, &r, props.ctl3D ? EDGE_SUNKEN : BDR_SUNKENOUTER, BF_RECT | (props.ctl3D ? 0 : BF_MONO));
    ::InflateRect(&r, props.ctl3D ? -2 : -1, props.ctl3D ? -2 : -1);
  }
  DrawBevel(dc, r, props.bevelOuter, false);
  DrawBevel(dc, r, props.bevelInner, true);

  HFONT font = nullptr;
  if (IFont* f = Font()) f->get_hFont(&font);
  HGDIOBJ oldFont = font ? ::SelectObject(dc, font) : nullptr;
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, ::GetSysColor(props.enabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
  UINT format = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX;
  format |= props.alignment == TextAlignment::Left    ? DT_LEFT
            : props.alignment == TextAlignment::Right ? DT_RIGHT
                                                      : DT_CENTER;
  ::DrawTextW(dc, props.caption.c_str(), static_cast<int>(props.caption.size()), &r, format);
  if (oldFont) ::SelectObject(dc, oldFont);
}

LRESULT CALLBACK Panel::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* panel = reinterpret_cast<Panel*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!panel) return ::DefWindowProcW(window, message, wParam, lParam);
  return panel->Handle(window, message, wParam, lParam);
}

LRESULT Panel::Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = ::BeginPaint(window, &ps);
      RECT client{};
      ::GetClientRect(window, &client);
      Draw(dc, client);
      ::EndPaint(window, &ps);
      return 0;
    }
    case WM_LBUTTONDOWN:
      pressed_ = true;
      ::SetCapture(window);
      return 0;
    case WM_LBUTTONUP: {
      const bool wasPressed = pressed_;
      pressed_ = false;
      if (::GetCapture() == window) ::ReleaseCapture();
      RECT client{};
      ::GetClientRect(window, &client);
      POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      if (wasPressed && ::PtInRect(&client, at)) events_.Click();
      return 0;
    }
    case WM_LBUTTONDBLCLK:
      // The first click of the pair has fired OnClick already; the button's
      // release after the second press is no click of its own.
      pressed_ = false;
      events_.DblClick();
      return 0;
    case WM_SIZE:
      // Sizes set while the window is being created are not the page's doing.
      if (window_) events_.Resized();
      return 0;
    default: break;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

void Panel::UnregisterWindowClass(HINSTANCE instance) { ::UnregisterClassW(kPanelClass, instance); }

}  // namespace imptherm::control
