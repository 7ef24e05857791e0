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

  // `stop` asks the run to end (a page's DELETE, the bridge stopping): it is
  // looked at between two records, between two pieces of a job, and by every
  // call on a connection, a serial port or a port device; `firstSlot` 1..4
  // answers the sheet chooser without asking, 0 lets the backend's chooser
  // decide. The run opens connections only to the hosts `rule` allows.
  RunOutcomeInfo Run(const PageParameters& params, const OriginRule& rule, int firstSlot, const std::atomic<bool>& stop,
                     const Emit& emit);
  // From another thread, after the running run's `stop` was set: ends its
  // waits on the network at once.
  void Interrupt();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace imptherm::bridge
