#pragma once
#include <string>

#include "platform/profile.h"
#include "platform/system.h"

namespace imptherm {

inline constexpr char kPrinterConfigFileName[] = "ImpThermOrvane.ini";

// The configuration lines of the model, each ended by CR LF: the values of
// Param01, Param02, ... up to the first one that is missing or empty. The
// model's defaults are written first when its Param01 has no value. Raises
// PlatformError when they cannot be written.
std::string LoadPrinterConfiguration(System& system, ProfileFiles& profiles, const std::string& prnType);

// The same for job after job: the file is read for every job, so that an
// edit reaches the next one, but the lines are made again only when the
// model's section no longer reads as it did.
class PrinterConfiguration {
 public:
  const std::string& Load(System& system, ProfileFiles& profiles, const std::string& prnType);

 private:
  const char* section_ = nullptr;  // the model's section the lines were made from; none yet
  ProfileFiles::Entries entries_;
  std::string lines_;
};

}  // namespace imptherm
