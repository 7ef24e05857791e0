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

}  // namespace imptherm
