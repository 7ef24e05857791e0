#pragma once
#include <memory>

#include "common/logs.h"
#include "common/run_state.h"
#include "platform/platform.h"
#include "run/stages.h"

namespace imptherm {

// What lives as long as the loaded control (one per process for the command
// line): what outlives a run (RunState), the logs and the stages with their
// lasting objects.
struct Module {
  explicit Module(Platform& p) : platform(p), parameterLog(p.system), runLog(p.system) {}
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  Platform& platform;
  RunState state;
  ParameterLog parameterLog;
  RunLog runLog;
  std::unique_ptr<PrintStages> stages;
  // The progress window's memo while a print run has it open.
  Memo* progress = nullptr;
};

}  // namespace imptherm
