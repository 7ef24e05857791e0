#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bridge/config.h"

namespace imptherm::bridge {

// At most this many runs wait behind the running one; more are refused.
inline constexpr std::size_t kQueueCapacity = 32;
// At most this many of them come from one origin, so that one page cannot
// fill the queue and keep every other site from printing.
inline constexpr std::size_t kOriginShare = 8;
// Events kept per run; older ones are dropped (and counted) beyond it.
inline constexpr std::size_t kMaxEventsPerRun = 1000;
// Finished runs kept for their result and events, the oldest forgotten first.
inline constexpr std::size_t kFinishedRunsKept = 64;

// One server-sent event: its name and its JSON data.
struct RunEvent {
  std::string name;
  std::string data;
};

// How a print run ended, as `impthermorvane print` would report it.
struct RunOutcomeInfo {
  int status = 0;
  std::string message;  // UTF-8
  int labels = 0;
  std::size_t failedRecord = 0;  // 0: none
  std::string Json() const;
};

using PageParameters = std::vector<std::pair<std::string, std::string>>;  // Windows-1252 values

// One print run asked for by a page. Lives on the server's thread; the
// worker only reads `params` and `firstSlot` and watches `stop`.
struct PrintRunEntry {
  enum class State { Queued, Running, Done };
  std::string id;
  std::string origin;
  OriginRule rule;  // as it stood when the run was asked for: the hosts it may reach
  PageParameters params;
  int firstSlot = 0;  // 0: the chooser decides
  State state = State::Queued;
  std::optional<RunOutcomeInfo> outcome;
  std::shared_ptr<std::atomic<bool>> stop = std::make_shared<std::atomic<bool>>(false);

  // Kept events; the first one kept is number `firstKept` of the run.
  std::deque<RunEvent> events;
  std::uint64_t firstKept = 0;
  std::uint64_t next() const { return firstKept + events.size(); }
  void AddEvent(RunEvent event);
  // Readers of the event stream are told of every new event.
  std::uint64_t Watch(std::function<void()> wake);
  void Unwatch(std::uint64_t token);
  std::string StateName() const;

 private:
  std::map<std::uint64_t, std::function<void()>> watchers_;
  std::uint64_t nextToken_ = 1;
};

// The waiting runs and the running one; single-threaded: every call comes
// from the server's thread, including the worker's report of a finished run.
class RunQueue {
 public:
  // Hands a run to the worker; the worker calls Finished when it is over.
  using Starter = std::function<void(std::shared_ptr<PrintRunEntry>)>;
  explicit RunQueue(Starter starter) : starter_(std::move(starter)) {}

  // Told, after the running run's stop flag was set, to cut its waits short.
  std::function<void()> onStopRunning;
  // Told of every run that ends, whether it ran or not.
  std::function<void(const PrintRunEntry&)> onEnded;

  enum class Refusal { None, QueueFull, OriginShareFull, Stopping };
  // Why a run of `origin` would not be queued now.
  Refusal WhyRefused(const std::string& origin) const;
  // Queues a run; nothing when WhyRefused says why not.
  std::shared_ptr<PrintRunEntry> Submit(const OriginRule& rule, PageParameters params, int firstSlot);
  std::shared_ptr<PrintRunEntry> Find(const std::string& id) const;
  // A waiting run leaves the queue as abandoned; a running one is asked to
  // stop at once.
  void Cancel(std::shared_ptr<PrintRunEntry> run);
  void Finished(const std::shared_ptr<PrintRunEntry>& run, RunOutcomeInfo outcome);
  // Shutting down: waiting runs are abandoned, the running one asked to stop.
  void CancelAll();
  bool busy() const { return running_ != nullptr; }
  std::size_t waiting() const { return waiting_.size(); }

 private:
  void StartNext();
  void Forget();
  std::string NewId();
  void Drop(std::shared_ptr<PrintRunEntry> run, const char* why);

  Starter starter_;
  std::deque<std::shared_ptr<PrintRunEntry>> waiting_;
  std::shared_ptr<PrintRunEntry> running_;
  std::map<std::string, std::shared_ptr<PrintRunEntry>> runs_;
  std::deque<std::string> finished_;  // ids in the order their runs ended
  bool stopping_ = false;
};

}  // namespace imptherm::bridge
