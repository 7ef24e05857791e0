#pragma once
#include "platform/chooser.h"
#include "platform/net.h"
#include "platform/ntlm.h"
#include "platform/port.h"
#include "platform/printing.h"
#include "platform/profile.h"
#include "platform/proxy_dialog.h"
#include "platform/resources.h"
#include "platform/serial.h"
#include "platform/system.h"
#include "platform/ui.h"

namespace imptherm {

// Everything the core asks of the machine, handed to it by the host. The
// host owns the implementations; they outlive every Module built on them.
struct Platform {
  System& system;
  UserInterface& ui;
  Resources& resources;
  Printers& printers;
  // Output channels: serial ports (COMn) and port devices (LPTn).
  SerialPorts& serialPorts;
  PortDevices& portDevices;
  // The printer configuration file.
  ProfileFiles& profiles;
  // Label data retrieval: connections, the NTLM package, the proxy dialog.
  Network& network;
  Ntlm& ntlm;
  ProxyDialog& proxyDialog;
  // Sheet printing: drawn documents on a printer.
  DrawnDocuments& documents;
  // Sheet printing: the first-label position chooser.
  PositionChooserDialog& chooser;
};

}  // namespace imptherm
