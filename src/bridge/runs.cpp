#include "bridge/runs.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "platform/random.h"

namespace imptherm::bridge {

std::string RunOutcomeInfo::Json() const {
  nlohmann::json j = {{"status", status}, {"message", message}, {"labels", labels}, {"failedRecord", nullptr}};
  if (failedRecord) j["failedRecord"] = failedRecord;
  return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void PrintRunEntry::AddEvent(RunEvent event) {
  events.push_back(std::move(event));
  if (events.size() > kMaxEventsPerRun) {
    events.pop_front();
    ++firstKept;
  }
  // A watcher may unwatch while it is told; tell a copy.
  const auto watchers = watchers_;
  for (const auto& [token, wake] : watchers) wake();
}

std::uint64_t PrintRunEntry::Watch(std::function<void()> wake) {
  watchers_[nextToken_] = std::move(wake);
  return nextToken_++;
}

void PrintRunEntry::Unwatch(std::uint64_t token) { watchers_.erase(token); }

std::string PrintRunEntry::StateName() const {
  switch (state) {
    case State::Queued: return "queued";
    case State::Running: return "running";
    case State::Done: return "done";
  }
  return "done";
}

std::string RunQueue::NewId() {
  // 128 bits from the system: an id tells nothing of other runs and cannot
  // be guessed by another page.
  static const char kHex[] = "0123456789abcdef";
  std::string id;
  for (unsigned char b : SystemRandomBytes(16)) {
    id += kHex[b >> 4];
    id += kHex[b & 15];
  }
  return id;
}

RunQueue::Refusal RunQueue::WhyRefused(const std::string& origin) const {
  if (stopping_) return Refusal::Stopping;
  if (waiting_.size() >= kQueueCapacity) return Refusal::QueueFull;
  const auto own = std::count_if(waiting_.begin(), waiting_.end(), [&](const auto& r) { return r->origin == origin; });
  return static_cast<std::size_t>(own) >= kOriginShare ? Refusal::OriginShareFull : Refusal::None;
}

std::shared_ptr<PrintRunEntry> RunQueue::Submit(const OriginRule& rule, PageParameters params, int firstSlot) {
  if (WhyRefused(rule.origin) != Refusal::None) return nullptr;
  auto run = std::make_shared<PrintRunEntry>();
  run->id = NewId();
  run->origin = rule.origin;
  run->rule = rule;
  run->params = std::move(params);
  run->firstSlot = firstSlot;
  runs_[run->id] = run;
  waiting_.push_back(run);
  StartNext();
  return run;
}

std::shared_ptr<PrintRunEntry> RunQueue::Find(const std::string& id) const {
  const auto it = runs_.find(id);
  return it == runs_.end() ? nullptr : it->second;
}

void RunQueue::Cancel(std::shared_ptr<PrintRunEntry> run) {
  if (run->state == PrintRunEntry::State::Running) {
    *run->stop = true;
    if (onStopRunning) onStopRunning();
    return;
  }
  if (run->state == PrintRunEntry::State::Queued) Drop(run, "the run was cancelled before it started");
}

void RunQueue::Drop(std::shared_ptr<PrintRunEntry> run, const char* why) {
  waiting_.erase(std::find(waiting_.begin(), waiting_.end(), run));
  RunOutcomeInfo outcome;
  outcome.status = 5;
  outcome.message = std::string("abandoned: ") + why;
  Finished(run, std::move(outcome));
}

void RunQueue::Finished(const std::shared_ptr<PrintRunEntry>& run, RunOutcomeInfo outcome) {
  run->state = PrintRunEntry::State::Done;
  run->AddEvent({"outcome", outcome.Json()});
  run->outcome = std::move(outcome);
  finished_.push_back(run->id);
  if (running_ == run) running_.reset();
  if (onEnded) onEnded(*run);
  Forget();
  StartNext();
}

void RunQueue::CancelAll() {
  stopping_ = true;
  while (!waiting_.empty()) Drop(waiting_.front(), "the bridge stopped before the run started");
  if (running_) Cancel(running_);
}

void RunQueue::StartNext() {
  if (stopping_ || running_ || waiting_.empty()) return;
  running_ = waiting_.front();
  waiting_.pop_front();
  running_->state = PrintRunEntry::State::Running;
  starter_(running_);
}

void RunQueue::Forget() {
  while (finished_.size() > kFinishedRunsKept) {
    runs_.erase(finished_.front());
    finished_.pop_front();
  }
}

}  // namespace imptherm::bridge
