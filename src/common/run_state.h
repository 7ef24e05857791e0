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

// Values that live as long as the loaded module and that several stages read
// and write. Not reset between print runs except where the driver says so.
struct RunState {
  std::string LanguageCode;
  int CaptionBase = 0;
  std::string HeaderText;  // at most 30 characters
  bool BaggageMode = false;
  bool HeaderFlag = false;
  int FirstLabelPosition = 0;
  int nbEtiquColis = 0;
  int nbEtiquPalettes = 0;
  std::string WorkFolder;  // ends in the path separator once set
  ProxySettings Proxy;
};

}  // namespace imptherm
