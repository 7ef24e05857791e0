#pragma once
#include <memory>
#include <optional>
#include <string>

namespace imptherm {

// The word-wrapping memo of the progress window. Lower stages write into it.
class Memo {
 public:
  virtual ~Memo() = default;
  virtual void AddLine(const std::string& line) = 0;
  virtual void Clear() = 0;
};

// The modeless progress window of one print run; closing happens when the
// object is destroyed, so a print run that ends early still closes it.
class ProgressWindow {
 public:
  virtual ~ProgressWindow() = default;
  virtual Memo& memo() = 0;
};

enum class MessageIcon { Information, Warning, Error };

// What a person sees and answers. Texts are Windows-1252.
class UserInterface {
 public:
  virtual ~UserInterface() = default;
  // Creates and shows the progress window (320 x 240, centred, fixed border,
  // no title-bar buttons, one memo) without waiting.
  virtual std::unique_ptr<ProgressWindow> OpenProgressWindow(const std::string& caption) = 0;
  // A modal box with one OK button; returns when it is closed.
  virtual void ShowMessage(const std::string& text, MessageIcon icon) = 0;
  // A modal confirmation with Yes and No; true for Yes.
  virtual bool AskYesNo(const std::string& text) = 0;
  // The hourglass while the thread is busy with the network.
  virtual void SetBusyCursor(bool busy) = 0;
  // The caption of the control's own panel in the page.
  virtual void SetPanelCaption(const std::string& caption) = 0;
  // Whether the person has asked to stop the print run (Ctrl-C, the host
  // closing). Asked between two records and between two labels, so it must
  // cost next to nothing.
  virtual bool StopRequested() = 0;
};

}  // namespace imptherm
