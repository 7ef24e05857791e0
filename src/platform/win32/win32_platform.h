#pragma once
#include <windows.h>

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

namespace imptherm::win32 {

// Every Win32 backend, owned together, and the Platform over them. `module`
// is the file whose string tables and window classes they use: the control,
// or the bridge program.
struct Win32Platform {
  explicit Win32Platform(HINSTANCE module) : ui(module), resources(module), proxyDialog(module), chooser(module) {}
  Win32Platform(const Win32Platform&) = delete;
  Win32Platform& operator=(const Win32Platform&) = delete;

  Win32System system;
  Win32Ui ui;
  Win32Resources resources;
  Win32Printers printers;
  Win32SerialPorts serialPorts;
  Win32PortDevices portDevices;
  Win32Profiles profiles;
  Win32Network network;
  Win32Ntlm ntlm;
  Win32ProxyDialog proxyDialog;
  Win32Documents documents;
  Win32Chooser chooser;
  Platform platform{.system = system,
                    .ui = ui,
                    .resources = resources,
                    .printers = printers,
                    .serialPorts = serialPorts,
                    .portDevices = portDevices,
                    .profiles = profiles,
                    .network = network,
                    .ntlm = ntlm,
                    .proxyDialog = proxyDialog,
                    .documents = documents,
                    .chooser = chooser};
};

}  // namespace imptherm::win32
