#include "ops/operation_steps.h"

#include <array>
#include <cstdio>
#include <vector>

namespace quillon::ops {

std::string Format(const char* format, unsigned a, unsigned b) {
  std::array<char, 96> text{};
  std::snprintf(text.data(), text.size(), format, a, b);
  return text.data();
}

std::string Format(const char* format, const std::string& name) {
  std::vector<char> text(name.size() + 64);
  std::snprintf(text.data(), text.size(), format, name.c_str());
  return text.data();
}

Result Finish(Operation& op, Outcome outcome, const std::string& text) {
  op.window.SetWork(text);
  op.window.Beep();
  return {outcome, text};
}

Result Stopped() { return {Outcome::Stopped, "Stopped"}; }

std::optional<Result> EndOnStep(Operation& op, Step step, const std::string& failureText) {
  switch (step) {
    case Step::Stopped:
      return Stopped();
    case Step::Failed:
      return Finish(op, Outcome::Failed, failureText);
    case Step::Ok:
      break;
  }
  return std::nullopt;
}

}  // namespace quillon::ops
