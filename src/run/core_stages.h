#pragma once
#include <memory>

#include "run/module.h"

namespace imptherm {

// The stages as the subsystems implement them, wired for one Module.
std::unique_ptr<PrintStages> MakeCoreStages(Module& module);

}  // namespace imptherm
