#include "run/stages.h"

namespace imptherm {
namespace {

class RecordByRecord final : public ThermalJobs {
 public:
  RecordByRecord(PrintStages& stages, const RunOptions& run, const DataLines& lines)
      : stages_(stages), run_(run), lines_(lines) {}
  bool Done() const override { return index_ >= lines_.size(); }
  void Next() override { index_ = stages_.GroupRecordLines(lines_, index_, record_); }
  void Build(JobSink& sink) override { stages_.BuildThermalJob(run_, record_, sink); }

 private:
  PrintStages& stages_;
  const RunOptions& run_;
  const DataLines& lines_;
  std::size_t index_ = 0;
  RecordLines record_;
};

}  // namespace

std::unique_ptr<ThermalJobs> PrintStages::StartThermalJobs(const RunOptions& run, const DataLines& lines) {
  return std::make_unique<RecordByRecord>(*this, run, lines);
}

}  // namespace imptherm
