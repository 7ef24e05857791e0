#pragma once
#include "platform/chooser.h"
#include "platform/printing.h"
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
  // Sheet printing: drawn documents on a printer.
  DrawnDocuments& documents;
  // Sheet printing: the first-label position chooser.
  PositionChooserDialog& chooser;
};

}  // namespace imptherm
