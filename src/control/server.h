#pragma once
#include <windows.h>

#include <oaidl.h>

#include "platform/platform.h"
#include "platform/win32/win32_chooser.h"
#include "platform/win32/win32_documents.h"
#include "platform/win32/win32_network.h"
#include "platform/win32/win32_ntlm.h"
#include "platform/win32/win32_printers.h"
#include "platform/win32/win32_profiles.h"
#include "platform/win32/win32_proxy_dialog.h"
#include "platform/win32/win32_resources.h"
#include "platform/win32/win32_serial.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/win32_ui.h"
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
class ControlModule {
 public:
  static ControlModule& Get();

  win32::Win32System system;
  win32::Win32Ui ui;
  win32::Win32Resources resources;
  win32::Win32Printers printers;
  win32::Win32SerialPorts serialPorts;
  win32::Win32PortDevices portDevices;
  win32::Win32Profiles profiles;
  win32::Win32Network network;
  win32::Win32Ntlm ntlm;
  win32::Win32ProxyDialog proxyDialog;
  win32::Win32Documents documents;
  win32::Win32Chooser chooser;
  Platform platform;
  Module module;
  // Set while a print run holds the thread, so that a page cannot start a
  // second one from inside the first (modal dialogs pump messages).
  bool running = false;

 private:
  ControlModule();
};

}  // namespace imptherm::control
