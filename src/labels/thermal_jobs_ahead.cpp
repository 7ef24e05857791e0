#include "labels/thermal_jobs_ahead.h"

#include <algorithm>
#include <string_view>
#include <utility>

namespace imptherm {
namespace {

// Room before a record's labels for its configuration lines, so that they go
// out in the same write without copying the labels: the defaults take about
// sixty bytes. Longer lines are copied in front.
constexpr std::size_t kConfigRoom = 512;
// Pieces rendered ahead at most. The caller takes over all the pieces
// waiting at once, so that the two threads seldom meet at the lock and
// seldom wake each other.
constexpr std::size_t kAheadPieces = 32;

}  // namespace

ThermalJobsAhead::ThermalJobsAhead(const ThermalJobContext& ctx, const RunOptions& run, const DataLines& lines)
    : ctx_(ctx),
      cache_(*ctx.cache),
      run_(run),
      lines_(lines),
      layouts_(JobLayouts(cache_, ctx.platform.resources, run.header.CaptionBase)),
      finished_(lines_.empty()) {
  if (!finished_) thread_ = std::thread([this] { Render(); });
}

ThermalJobsAhead::~ThermalJobsAhead() {
  {
    std::lock_guard lock(mutex_);
    stopped_ = true;
  }
  room_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void ThermalJobsAhead::Render() {
  try {
    RecordLines record;
    for (std::size_t index = 0; lines_.Reaches(index);) {
      index = GroupRecordLines(lines_, index, record);
      Piece piece = Fresh(true);
      piece.final = !lines_.Reaches(index);
      if (record.size() >= kThermalHeaderLines) {
        ReadRecordHeader(record, ctx_.label);
        piece.header = true;
        piece.kind = ctx_.label.RecordKind;
        auto full = [&](int labels) {
          piece.labels = labels;
          Push(std::move(piece));
          piece = Fresh(false);
        };
        piece.labels =
            RenderThermalLabels(run_, record, layouts_, ctx_.label, cache_.layout, piece.text, kJobPieceSize, full);
      }
      piece.last = true;
      Push(std::move(piece));
    }
  } catch (const Stopped&) {
  } catch (...) {
    Piece failed;
    failed.error = std::current_exception();
    failed.last = true;
    try {
      Push(std::move(failed));
    } catch (const Stopped&) {
    }
  }
}

ThermalJobsAhead::Piece ThermalJobsAhead::Fresh(bool first) {
  Piece piece;
  if (!stash_.empty()) {
    piece.text = std::move(stash_.back());
    stash_.pop_back();
    piece.text.clear();
  }
  if (first) piece.text.resize(piece.start = kConfigRoom);
  return piece;
}

void ThermalJobsAhead::Push(Piece piece) {
  std::unique_lock lock(mutex_);
  room_.wait(lock, [&] { return stopped_ || queue_.size() < kAheadPieces; });
  if (stopped_) throw Stopped{};
  queue_.push_back(std::move(piece));
  if (queue_.size() == 1) ready_.notify_one();
  if (stash_.empty()) stash_.swap(spare_);
}

void ThermalJobsAhead::GiveBack(std::string text) {
  if (text.capacity() > 0 && done_.size() < kAheadPieces) done_.push_back(std::move(text));
}

ThermalJobsAhead::Piece ThermalJobsAhead::Pop(std::string done) {
  GiveBack(std::move(done));
  if (at_ == batch_.size()) {
    // Everything rendered so far is taken over at once, and the rendering
    // thread may fill the queue again.
    batch_.clear();
    at_ = 0;
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [&] { return !queue_.empty(); });
    batch_.swap(queue_);
    if (spare_.empty()) spare_.swap(done_);
    lock.unlock();
    room_.notify_one();
  }
  Piece piece = std::move(batch_[at_++]);
  if (piece.error) std::rethrow_exception(piece.error);
  return piece;
}

void ThermalJobsAhead::Next() {
  std::string done = taken_ ? std::move(taken_->text) : std::string();
  taken_.reset();
  // What a job left unsent of its record.
  for (; rest_; rest_ = !Pop(std::move(done)).last) done.clear();
  taken_ = Pop(std::move(done));
  finished_ = taken_->final;
  rest_ = !taken_->last;
}

void ThermalJobsAhead::Build(JobSink& sink) {
  const std::string& config = cache_.configuration.Load(ctx_.platform.system, ctx_.platform.profiles, run_.prnType);
  Piece& first = *taken_;
  if (first.header) ctx_.runLog.Write(FondPageLine(first.kind));
  std::string joined;
  std::string_view text;
  if (config.size() <= first.start) {
    first.start -= config.size();
    std::copy(config.begin(), config.end(), first.text.begin() + static_cast<std::ptrdiff_t>(first.start));
    text = std::string_view(first.text).substr(first.start);
  } else {
    joined = config + first.text.substr(first.start);
    text = joined;
  }
  sink.CountLabels(first.labels);
  if (!text.empty()) sink.Write(text);
  std::string done;
  while (rest_) {
    Piece piece = Pop(std::move(done));
    rest_ = !piece.last;
    sink.CountLabels(piece.labels);
    if (!piece.text.empty()) sink.Write(piece.text);
    done = std::move(piece.text);
  }
  GiveBack(std::move(done));
}

}  // namespace imptherm
