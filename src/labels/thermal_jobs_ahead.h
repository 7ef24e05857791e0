#pragma once
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/data_lines.h"
#include "common/job_sink.h"
#include "labels/thermal_job.h"

namespace imptherm {

// The thermal jobs of one print run, record by record, with the records
// grouped and their labels rendered on a second thread, a few pieces ahead
// of the job going out: on a machine of two cores the next labels are made
// while the system writes the job before. Everything that reaches the
// machine stays on the caller's thread, in the order of a job built in one
// go (BuildThermalJob): the printer configuration is read at the start of
// each job, the run log line written after it, the labels handed over last.
// `ctx` must name the cache the jobs keep from one to the next. The
// rendering thread reads the data lines (cutting those not yet cut) and
// changes the label record and the kept layout of `ctx`; nothing else may
// use them, or the lines and the options, until this object is gone.
class ThermalJobsAhead {
 public:
  ThermalJobsAhead(const ThermalJobContext& ctx, const RunOptions& run, const DataLines& lines);
  // Stops the rendering and waits for its thread.
  ~ThermalJobsAhead();
  ThermalJobsAhead(const ThermalJobsAhead&) = delete;
  ThermalJobsAhead& operator=(const ThermalJobsAhead&) = delete;

  // Whether every record has been taken.
  bool Done() const { return finished_; }
  // Takes the next record. An error of the rendering thread is raised here
  // or by Build, in the record it happened in.
  void Next();
  // The job of the record taken, as BuildThermalJob makes it.
  void Build(JobSink& sink);

 private:
  // Whole labels, the first piece of a record after room for the
  // configuration lines.
  struct Piece {
    std::string text;
    std::size_t start = 0;  // where the labels begin in text
    int labels = 0;         // copies included
    bool last = false;      // the record's last piece
    // The record's first piece says what follows it: whether the record has
    // a header and its kind, and whether it is the run's last.
    bool header = false;
    std::string kind;
    bool final = false;
    std::exception_ptr error;
  };
  struct Stopped {};

  void Render();
  // A piece to fill, its text one that went out before where there is one.
  Piece Fresh(bool first);
  void Push(Piece piece);
  // Keeps the text of a piece that went out for the rendering thread.
  void GiveBack(std::string text);
  // The next piece; `done` is the text of a piece that went out.
  Piece Pop(std::string done);

  ThermalJobContext ctx_;
  ThermalJobCache& cache_;
  const RunOptions& run_;
  const DataLines& lines_;
  const CaptionedLayouts& layouts_;

  // The caller's side: the record taken and the pieces taken over.
  bool finished_;               // no record is left to take
  std::optional<Piece> taken_;  // the first piece of the record taken
  bool rest_ = false;           // pieces of the record taken are still to come
  std::vector<Piece> batch_;    // taken over at once, used from `at_` on
  std::size_t at_ = 0;
  std::vector<std::string> done_;  // texts that went out, given back with the next batch

  // The rendering side: texts to reuse.
  std::vector<std::string> stash_;

  // Between the two, under the lock.
  std::mutex mutex_;
  std::condition_variable ready_, room_;
  std::vector<Piece> queue_;
  std::vector<std::string> spare_;
  bool stopped_ = false;
  std::thread thread_;  // last: started once everything above is made
};

}  // namespace imptherm
