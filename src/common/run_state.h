#pragma once
#include <string>

namespace imptherm {

struct ProxySettings {
  bool proxyEnable = false;
  std::string proxyHttp;
  std::string proxyDomaine;
  std::string proxyUser;      // clear text, never logged
  std::string proxyPassword;  // clear text, never logged
};

// The only values that outlive a print run; what the stages that build and
// print read comes to them in the run's RunOptions.
// - The copy counts: a page that leaves out nbEtiquColis (or only
//   nbEtiquPalettes) prints with the counts of the module's previous run.
// - The proxy settings: the module's HTTP client reads them from its
//   authentication callbacks, and the credentials dialog's answer is kept
//   there for the rest of the run. The driver sets all five afresh at every
//   run that has its parameters.
struct RunState {
  int nbEtiquColis = 0;
  int nbEtiquPalettes = 0;
  ProxySettings Proxy;
};

}  // namespace imptherm
