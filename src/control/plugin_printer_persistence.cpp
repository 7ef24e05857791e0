#include "control/plugin_printer.h"

#include <string>

#include "control/property_bag_source.h"
#include "control/server.h"
#include "platform/win32/cp1252.h"
#include "run/print_run.h"

namespace imptherm::control {

// ---- IPersist, IPersistPropertyBag, IPersistStreamInit

HRESULT PluginPrinter::GetClassID(CLSID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = CLSID_PluginPrinter;
  return S_OK;
}

HRESULT PluginPrinter::InitNew() { return S_OK; }

// The print run. The host always gets S_OK; how the run ended is in the
// logs and in what the progress window showed.
HRESULT PluginPrinter::Load(IPropertyBag* bag, IErrorLog* errorLog) {
  try {
    ControlModule& shared = ControlModule::Get();
    // A page script reached through a dialog's message loop must not start a
    // second run on top of the first one.
    if (shared.running) {
      PrintRun(shared.module).Refuse("une impression est deja en cours");
      return S_OK;
    }
    if (siteCheck_ == SiteCheck::Refused) {
      PrintRun(shared.module).Refuse("la page " + win32::Narrow(refusedPage_) + " n'est pas un site autorise");
      return S_OK;
    }
    struct RunScope {
      PluginPrinter& control;
      ControlModule& shared;
      RunScope(PluginPrinter& c, ControlModule& m) : control(c), shared(m) {
        control.AddRef();  // the page may drop the control while a dialog is up
        shared.running = true;
        shared.ui.panelCaption = [this](const std::string& caption) {
          control.panel_.props.caption = win32::Widen(caption);
          control.PropertyChanged();
        };
        shared.chooser.hostWindow = [this] { return control.ContainerWindow(); };
      }
      ~RunScope() {
        shared.chooser.hostWindow = nullptr;
        shared.ui.panelCaption = nullptr;
        shared.running = false;
        control.Release();
      }
    } scope(*this, shared);
    PropertyBagSource source(bag, errorLog);
    PrintRun(shared.module).Load(source);
  } catch (...) {
  }
  return S_OK;
}

HRESULT PluginPrinter::Save(IPropertyBag*, BOOL, BOOL) { return S_OK; }
HRESULT PluginPrinter::IsDirty() { return S_FALSE; }
// Nothing of the control is kept between pages: the stream holds nothing.
HRESULT PluginPrinter::Load(IStream*) { return S_OK; }
HRESULT PluginPrinter::Save(IStream*, BOOL) { return S_OK; }

HRESULT PluginPrinter::GetSizeMax(ULARGE_INTEGER* size) {
  if (!size) return E_POINTER;
  size->QuadPart = 0;
  return S_OK;
}

}  // namespace imptherm::control
