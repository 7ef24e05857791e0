#pragma once
#include <string>

#include "labels/label_record.h"
#include "platform/platform.h"
#include "run/logs.h"
#include "run/run_state.h"

namespace imptherm {

// A record may ask for at most this many labels (a preset label is always
// one). Past it the record's labels are left out and the run log says why:
// a count typed wrong must not keep a printer busy for days.
inline constexpr int kMaxLabelsPerRecord = 10000;

// What job assembly reads and updates in the module.
struct ThermalJobContext {
  Platform& platform;
  const RunState& state;
  RunLog& runLog;
  LabelRecord& label;
};

// The EPL2 job of one record: the configuration lines of the model prnType
// names, then every label ("N", its layout, "P") with its copy block.
std::string BuildThermalJob(ThermalJobContext& ctx, const std::string& prnType, const RecordLines& record);

}  // namespace imptherm
