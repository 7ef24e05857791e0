#pragma once
#include <windows.h>

#include <functional>

#include "platform/chooser.h"

namespace imptherm::win32 {

// The first-label position chooser (TFRMChoixEtq) as a modal dialog. The
// picture of the sheet is a child window of its own class that keeps its
// drawing in a bitmap, as a picture control does. Places and sizes follow
// the screen's resolution (the picture is stretched from its 201 pixels).
class Win32Chooser final : public PositionChooserDialog {
 public:
  explicit Win32Chooser(HINSTANCE instance) : instance_(instance) {}
  std::optional<int> Choose(const ChooserTexts& texts, const SheetPicture& sheet, int selected) override;

  // The window of the program that hosts the run (the browser's frame). The
  // dialog is owned by its top-level window, which stays disabled while the
  // dialog is up: the page can be neither used nor left. Without one the
  // dialog belongs to the active window.
  std::function<HWND()> hostWindow;

 private:
  HINSTANCE instance_;
};

// The picture's class lives in the module that holds this backend; the
// module unregisters it before it may be unloaded.
void UnregisterChooserClass(HINSTANCE instance);

// What the tests look for: the picture's class and the buttons' ids.
inline constexpr wchar_t kChooserPictureClass[] = L"TImpThermChooserPicture";
inline constexpr int kChooserPictureSize = 201;
inline constexpr int kChooserPrintButton = IDOK;
inline constexpr int kChooserAbandonButton = IDCANCEL;
inline constexpr int kChooserAdviceLabel = 100, kChooserTopLabel = 101, kChooserBottomLabel = 102;

}  // namespace imptherm::win32
