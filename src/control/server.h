#pragma once
#include <windows.h>

#include <oaidl.h>

#include "platform/win32/win32_platform.h"
#include "run/module.h"

namespace imptherm::control {

// The module handle of the control's own file.
HINSTANCE ServerInstance();

// Live objects and server locks; the module may unload when both are zero.
void ObjectCreated();
void ObjectDestroyed();

// The type library embedded in the module, loaded once. Not AddRef'd.
ITypeLib* ControlTypeLib();
// Type information of one interface or class of that library, AddRef'd.
HRESULT ControlTypeInfo(REFGUID guid, ITypeInfo** info);

// What lives as long as the module is loaded: the Win32 platform and the
// Module of the print runs (run state and the stages' lasting objects).
class ControlModule : public win32::Win32Platform {
 public:
  static ControlModule& Get();

  Module module;
  // Set while a print run holds the thread, so that a page cannot start a
  // second one from inside the first (modal dialogs pump messages).
  bool running = false;

 private:
  ControlModule();
};

}  // namespace imptherm::control
