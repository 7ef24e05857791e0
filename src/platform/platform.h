#pragma once
#include "platform/net.h"
#include "platform/ntlm.h"
#include "platform/printing.h"
#include "platform/proxy_dialog.h"
#include "platform/resources.h"
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
  // Label data retrieval: connections, the NTLM package, the proxy dialog.
  Network& network;
  Ntlm& ntlm;
  ProxyDialog& proxyDialog;
};

}  // namespace imptherm
