// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/progress_plan.h"

#include <algorithm>

#include "ops/progress_window.h"

namespace quillon::ops {

namespace {

constexpr double kRecentSeconds = 5;        // the rates come from this much of the latest work
constexpr double kLeftFromFraction = 0.03;  // no time left before 3 % of the work
constexpr double kLeftFromSeconds = 2;      // nor before 2 s of it
constexpr std::size_t kKinds = 6;

// Seconds a byte of each kind takes on a writer at a common parallel port: about 50 KB/s of
// transfer whichever way the bytes go, the small pieces a little slower for their polls; a
// 64 KiB flash block erased in about half a second, a 128 KiB chip in about 0.75 s. Used only
// until the operation has measured that kind; scaled by what it measured of the same group.
constexpr double kNominal[kKinds] = {20e-6, 20e-6, 20e-6, 26e-6, 7.6e-6, 5.7e-6};

std::size_t Index(WorkKind kind) { return static_cast<std::size_t>(kind); }

// The port's kinds cost what the port's transfers cost; the erases cost the chip's own time.
bool OnChipTime(WorkKind kind) { return kind == WorkKind::Erase || kind == WorkKind::EraseChip; }

}  // namespace

void ProgressMeter::Advance(std::uint64_t bytes, std::optional<double> units) { plan_->Advance(stage_, bytes, units); }
void ProgressMeter::Waiting() { plan_->Waiting(); }

ProgressPlan::ProgressPlan(ProgressWindow& window, Clock clock)
    : window_(window), clock_(std::move(clock)), began_(clock_()), mark_(began_), samples_(kKinds) {}

ProgressMeter ProgressPlan::Expect(WorkKind kind, std::uint64_t bytes, bool counts, double passes) {
  const bool allDone = std::all_of(stages_.begin(), stages_.end(), [](const Stage& s) { return s.done == s.bytes; });
  if (!stages_.empty() && allDone) BeginAgain();  // the next operation
  stages_.push_back({kind, bytes, 0, counts, static_cast<double>(bytes) * passes, 0});
  mark_ = clock_();  // what came before the work (checks, files, questions) is no work's cost
  if (!workBegan_) workBegan_ = mark_;
  Send();
  return {*this, stages_.size() - 1};
}

void ProgressPlan::BeginAgain() {
  began_ = mark_ = clock_();
  workBegan_.reset();
  stages_.clear();
  for (auto& recent : samples_) recent.clear();
  fraction_ = 0;
  running_.reset();
}

ProgressMeter ProgressPlan::ExpectOnce(WorkKind kind, std::uint64_t bytes, bool counts, double passes) {
  for (std::size_t i = 0; i < stages_.size(); ++i) {
    if (stages_[i].kind == kind && stages_[i].done == 0) return {*this, i};
  }
  return Expect(kind, bytes, counts, passes);
}

void ProgressPlan::Advance(std::size_t index, std::uint64_t bytes, std::optional<double> workUnits) {
  Stage& stage = stages_[index];
  const double perByte = stage.bytes == 0 ? 0 : stage.units / static_cast<double>(stage.bytes);
  bytes = std::min(bytes, stage.bytes - stage.done);
  const double units = std::min(workUnits.value_or(static_cast<double>(bytes) * perByte), UnitsLeft(stage));
  const auto now = clock_();
  auto& recent = samples_[Index(stage.kind)];
  recent.push_back({std::chrono::duration<double>(now - mark_).count(), units, recent.empty()});
  double seconds = 0;
  for (const auto& sample : recent) seconds += sample.seconds;
  while (recent.size() > 1 && seconds - recent.front().seconds >= kRecentSeconds) {
    seconds -= recent.front().seconds;
    recent.pop_front();
  }
  mark_ = now;
  running_ = index;

  const double cost = units * SecondsPerUnit(stage.kind);
  const double before = CostLeft();
  stage.done += bytes;
  stage.unitsDone += units;
  if (stage.done == stage.bytes) stage.unitsDone = stage.units;
  if (CostLeft() <= 0) {
    fraction_ = 1;
  } else if (before > 0) {
    fraction_ += (1 - fraction_) * std::min(1.0, cost / before);
  }
  Send();
}

void ProgressPlan::Waiting() {
  if ((++polls_ & 0x3F) == 0) Send();
}

double ProgressPlan::Scale(WorkKind kind) const {
  double seconds = 0, nominal = 0;
  for (std::size_t k = 0; k < kKinds; ++k) {
    if (OnChipTime(static_cast<WorkKind>(k)) != OnChipTime(kind)) continue;
    for (const auto& sample : samples_[k]) {
      seconds += sample.seconds;
      nominal += sample.units * kNominal[k];
    }
  }
  return nominal > 0 && seconds > 0 ? seconds / nominal : 1;
}

double ProgressPlan::SecondsPerUnit(WorkKind kind) const {
  double seconds = 0, units = 0;
  const auto& recent = samples_[Index(kind)];
  for (const auto& sample : recent) {
    if (sample.first && recent.size() > 1) continue;
    seconds += sample.seconds;
    units += sample.units;
  }
  if (units > 0 && seconds > 0) return seconds / units;
  return kNominal[Index(kind)] * Scale(kind);
}

double ProgressPlan::UnitsLeft(const Stage& stage) { return std::max(0.0, stage.units - stage.unitsDone); }

double ProgressPlan::CostLeft() const {
  double cost = 0;
  for (const auto& stage : stages_) cost += UnitsLeft(stage) * SecondsPerUnit(stage.kind);
  return cost;
}

double ProgressPlan::Seconds(std::chrono::steady_clock::time_point at) const {
  return std::chrono::duration<double>(clock_() - at).count();
}

ProgressReport ProgressPlan::Report() const {
  ProgressReport report;
  report.fraction = fraction_;
  report.verb = verb_;
  for (const auto& stage : stages_) {
    report.workDone += stage.done;
    if (!stage.counts) continue;
    report.done += stage.done;
    report.total += stage.bytes;
  }
  report.seconds = Seconds(began_);
  if (running_) {
    const Stage& stage = stages_[*running_];
    report.bytesPerSecond =
        stage.units > 0 ? static_cast<double>(stage.bytes) / (stage.units * SecondsPerUnit(stage.kind)) : 0;
  }
  const double left = CostLeft();
  if (left > 0 && fraction_ >= kLeftFromFraction && workBegan_ && Seconds(*workBegan_) >= kLeftFromSeconds) {
    // Counts down while the present piece of work goes on, but says "done" only when it is.
    report.secondsLeft = std::max(left - Seconds(mark_), std::min(left, 1.0));
  }
  return report;
}

void ProgressPlan::Send() { window_.Progress(Report()); }

}  // namespace quillon::ops
