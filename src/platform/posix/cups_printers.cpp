#include "platform/posix/cups_printers.h"

#include <cups/cups.h>

namespace imptherm::posix {

std::vector<std::string> CupsPrinters::List() {
  cups_dest_t* dests = nullptr;
  int n = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
  std::vector<std::string> names;
  for (int i = 0; i < n; ++i)
    if (!dests[i].instance) names.emplace_back(dests[i].name);
  cupsFreeDests(n, dests);
  return names;
}

std::string CupsPrinters::DefaultPrinter() {
  cups_dest_t* dests = nullptr;
  int n = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
  std::string name;
  if (cups_dest_t* d = cupsGetDest(nullptr, nullptr, n, dests)) name = d->name;
  cupsFreeDests(n, dests);
  return name;
}

}  // namespace imptherm::posix
