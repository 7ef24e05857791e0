#pragma once
#include <windows.h>

#include "platform/chooser.h"

namespace imptherm::win32 {

// The first-label position chooser (TFRMChoixEtq) as a modal dialog owned
// by the active window. The picture of the sheet is a child window of its
// own class that keeps its drawing in a bitmap, as a picture control does.
class Win32Chooser final : public PositionChooserDialog {
 public:
  explicit Win32Chooser(HINSTANCE instance) : instance_(instance) {}
  std::optional<int> Choose(const ChooserTexts& texts, const SheetPicture& sheet, int selected) override;

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

}  // namespace imptherm::win32
