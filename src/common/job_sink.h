#pragma once
#include <string>
#include <string_view>
#include <utility>

#include "platform/error.h"
#include "platform/ui.h"

namespace imptherm {

// Where a thermal job goes while it is being built: its bytes arrive in
// pieces, in order, so that a record of any size is built and delivered in
// bounded memory. Pieces are never empty; a job that writes no piece is an
// empty job.
class JobSink {
 public:
  virtual ~JobSink() = default;
  virtual void Write(std::string_view piece) = 0;
  // The labels the job prints, copies included, as its builder counts them.
  void CountLabels(int n) { labels_ += n; }
  int labels() const { return labels_; }

 private:
  int labels_ = 0;
};

// One job on its way to an output channel. The channel is opened by the
// first piece, so an empty job reaches no file, port or printer.
class JobChannel : public JobSink {
 public:
  // Ends the job. Returns the message for the driver: empty when the print
  // run may go on. A channel dropped without Finish abandons its job (a job
  // file is cut back to where the job began).
  virtual std::string Finish() = 0;
  // The print run is stopping in the middle of the job, between two pieces,
  // and the channel is dropped next. A device is given what it still holds,
  // so that the printer stops at the end of a label; a file or a printer
  // document drops the job as when it is dropped.
  virtual void Stop() {}
  // Why the channel did not deliver all of the job, once it is finished;
  // empty when it took every byte. The driver goes on with the next record
  // as it does after an empty message, but the run's outcome is an error.
  const std::string& failure() const { return failure_; }

 protected:
  // The first failure of a job is the one that says why.
  void Fail(std::string why) {
    if (failure_.empty()) failure_ = std::move(why);
  }

 private:
  std::string failure_;
};

// A job that asks before every piece whether the person wants to stop: a
// record of a million labels is stopped within one piece, not at its end.
// Pieces hold whole labels, so the channel stops at a label boundary.
// Without `ui` nobody can ask, and every piece goes through.
class StoppableJob final : public JobSink {
 public:
  StoppableJob(JobChannel& channel, UserInterface* ui) : channel_(channel), ui_(ui) {}
  void Write(std::string_view piece) override {
    if (ui_ && ui_->StopRequested()) {
      channel_.Stop();
      throw RunAbandoned(kStopAsked);
    }
    channel_.Write(piece);
  }

 private:
  JobChannel& channel_;
  UserInterface* ui_;
};

// Collects a job in memory: for small jobs and for tests.
class StringJobSink final : public JobSink {
 public:
  std::string bytes;
  void Write(std::string_view piece) override { bytes.append(piece); }
};

}  // namespace imptherm
