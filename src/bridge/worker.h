#pragma once
#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "bridge/runs.h"
#include "platform/platform.h"

namespace imptherm::bridge {

// Runs the bridge's print runs, one at a time, on the worker's thread: the
// same Module and PrintRun as the command line and the control, over the
// host's backends. The progress window's caption and lines and the run log
// lines go to `emit` as events as well as to the backends.
class PrintWorker {
 public:
  using Emit = std::function<void(RunEvent)>;
  explicit PrintWorker(const Platform& backends);
  ~PrintWorker();
  PrintWorker(const PrintWorker&) = delete;
  PrintWorker& operator=(const PrintWorker&) = delete;

  // `stop` asks the run to end between two records (a page's DELETE, the
  // bridge stopping); `firstSlot` 1..4 answers the sheet chooser without
  // asking, 0 lets the backend's chooser decide.
  RunOutcomeInfo Run(const PageParameters& params, int firstSlot, const std::atomic<bool>& stop, const Emit& emit);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace imptherm::bridge
