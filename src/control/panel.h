#pragma once
#include <windows.h>

#include <ole2.h>
#include <olectl.h>
#include <wrl/client.h>

#include <string>

namespace imptherm::control {

// What the panel tells its control; the control forwards each one to the
// page's event sink. The in/out values are what the sink may change.
class PanelEvents {
 public:
  virtual void CanResize(long& newWidth, long& newHeight, bool& resize) = 0;
  virtual void Click() = 0;
  virtual void ConstrainedResize(long& minWidth, long& minHeight, long& maxWidth, long& maxHeight) = 0;
  virtual void DblClick() = 0;
  virtual void Resized() = 0;

 protected:
  ~PanelEvents() = default;
};

enum class Bevel { None = 0, Lowered = 1, Raised = 2, Space = 3 };
enum class TextAlignment { Left = 0, Right = 1, Center = 2 };

// The properties a page can read and write, with the values a fresh
// panel starts with.
struct PanelProperties {
  TextAlignment alignment = TextAlignment::Center;
  bool autoSize = false;
  Bevel bevelInner = Bevel::None;
  Bevel bevelOuter = Bevel::Raised;
  bool borderSingle = false;
  std::wstring caption;
  OLE_COLOR color = 0x8000000F;  // the system's button face colour
  bool ctl3D = true;
  bool useDockManager = false;
  bool dockSite = false;
  short dragCursor = -12;
  bool dragAutomatic = false;
  bool enabled = true;
  bool fullRepaint = true;
  bool locked = false;
  bool parentColor = false;
  bool parentCtl3D = true;
  bool visible = true;
  bool doubleBuffered = false;
  short cursor = 0;
  bool helpByContext = true;  // TxHelpType's numbers: false htKeyword, true htContext
  std::wstring helpKeyword;
  bool subComponent = false;
};

// The plain container window the control shows in the page: background
// colour, bevels, border and a one-line caption.
class Panel {
 public:
  explicit Panel(PanelEvents& events) : events_(events) {}
  ~Panel();
  Panel(const Panel&) = delete;
  Panel& operator=(const Panel&) = delete;

  PanelProperties props;

  // The caption font; created on first use, owned by the panel.
  IFont* Font();
  void SetFont(IFont* font);

  bool Create(HWND parent, const RECT& position);
  void Destroy();
  HWND window() const { return window_; }
  // Moves the window, letting the sink veto or constrain the new size first.
  void SetBounds(const RECT& position);
  // Applies changed properties to the window (visibility, enabling, repaint).
  void Refresh();
  void Draw(HDC dc, const RECT& bounds);

  static void UnregisterWindowClass(HINSTANCE instance);

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  PanelEvents& events_;
  HWND window_ = nullptr;
  Microsoft::WRL::ComPtr<IFont> font_;
  bool pressed_ = false;
};

}  // namespace imptherm::control
