// SPDX-License-Identifier: GPL-3.0-or-later
// How far an operation is, over all of its steps, and how long it still takes.
//
// An operation declares its stages before the work begins (the copy of the save memory, the
// erases, the programming, the menu image, the verify), each of a kind of work whose cost on
// the port differs. As bytes of a stage are done, the time they took is charged to its kind,
// and the seconds per byte of each kind are taken from its recent work (the last few seconds),
// so that the time left follows what the writer does now. A kind not yet seen is estimated
// from a nominal cost, scaled by how fast the kinds of its group (the port, or the chips'
// own erasing) have been so far.
//
// The fraction done moves by the cost of the bytes just done against what was still to do,
// each time with the newest rates: it never moves back, and it reaches 1 with the last byte.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quillon::ops {

class ProgressWindow;

enum class WorkKind {
  Read,           // bytes read from the card (an image, save memory, a verify)
  Write,          // bytes into save memory, which takes them as they come
  Program,        // flash programmed a bank or a block at a time
  ProgramPieces,  // flash programmed in small pieces, each polled (the menu image's chip)
  Erase,          // flash erased a block at a time: the chip's own time
  EraseChip,      // a whole chip erased at once (the menu image's chip)
};

// What a progress display shows, made by ProgressPlan each time the operation moves on.
struct ProgressReport {
  double fraction = 0;  // of all the operation's stages, 0..1; never less than before
  // The bytes of the stages that tell what the operation is for, and the word for them:
  // "1.2 MiB of 2.5 MiB written".
  std::uint64_t done = 0, total = 0;
  std::string verb{};
  std::uint64_t workDone = 0;           // bytes of every stage done, whatever their kind
  double bytesPerSecond = 0;            // of the stage now running, recently; 0: not yet known
  std::optional<double> secondsLeft{};  // none before 3 % and 2 s of work
  double seconds = 0;                   // since the operation began
  bool started() const { return total > 0 || fraction > 0; }
};

class ProgressPlan;

// One stage of a plan, as the steps that do its work see it.
class ProgressMeter {
 public:
  ProgressMeter(ProgressPlan& plan, std::size_t stage) : plan_(&plan), stage_(stage) {}
  // `bytes` more of the stage are done; `units`: the work they were, when the stage's work is not
  // spread evenly over its bytes (see ProgressPlan::Expect).
  void Advance(std::uint64_t bytes, std::optional<double> units = std::nullopt);
  // While the writer is busy: lets the display show that time goes on.
  void Waiting();

 private:
  ProgressPlan* plan_;
  std::size_t stage_;
};

class ProgressPlan {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;
  ProgressPlan(ProgressWindow& window, Clock clock);

  // The word of the bytes that count ("written", "read", "erased").
  void SetVerb(std::string verb) { verb_ = std::move(verb); }
  // A stage of `bytes` to come; `counts`: its bytes are those the report's done and total tell;
  // `passes`: how many times each byte crosses the link (a block sent to the writer's buffer,
  // then again to be programmed: 2). The stage's work is bytes × passes units; a stage whose
  // work is not spread evenly over its bytes (erases of sectors of several sizes) says with
  // each Advance how many units it did.
  // Once every stage is done, the next one declared begins a new plan (an operation that runs
  // on after another one on the same Operation).
  ProgressMeter Expect(WorkKind kind, std::uint64_t bytes, bool counts = true, double passes = 1);
  // The stage of `kind` expected earlier and not yet begun, or a new one with `passes` (a write
  // expects the verify that follows it, and the verify finds it here).
  ProgressMeter ExpectOnce(WorkKind kind, std::uint64_t bytes, bool counts = true, double passes = 1);

  void Advance(std::size_t stage, std::uint64_t bytes, std::optional<double> units = std::nullopt);
  void Waiting();
  ProgressReport Report() const;

 private:
  struct Stage {
    WorkKind kind;
    std::uint64_t bytes, done;
    bool counts;
    double units, unitsDone;
  };
  struct Sample {
    double seconds;
    double units;  // bytes times their passes
    bool first;    // the kind's first: it carries what the operation did before the kind began
  };
  void BeginAgain();
  static double UnitsLeft(const Stage& stage);
  double SecondsPerUnit(WorkKind kind) const;
  double Scale(WorkKind kind) const;
  double CostLeft() const;
  double Seconds(std::chrono::steady_clock::time_point at) const;
  void Send();

  ProgressWindow& window_;
  Clock clock_;
  std::chrono::steady_clock::time_point began_;
  std::chrono::steady_clock::time_point mark_;  // the last time work was done or declared
  std::optional<std::chrono::steady_clock::time_point> workBegan_;
  std::vector<Stage> stages_;
  std::vector<std::deque<Sample>> samples_;  // by kind, the recent ones
  double fraction_ = 0;
  std::optional<std::size_t> running_;  // the stage that did the latest work
  std::string verb_;
  std::uint32_t polls_ = 0;
};

}  // namespace quillon::ops
