// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/operation_steps.h"

#include <array>
#include <cstdio>
#include <filesystem>
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

std::string VerifyDifference(const std::string& fileName, std::uint64_t cardAddress, std::uint64_t fileOffset) {
  std::array<char, 64> where{};
  std::snprintf(where.data(), where.size(), "card address 0x%06llX, file offset 0x%06llX",
                static_cast<unsigned long long>(cardAddress), static_cast<unsigned long long>(fileOffset));
  return "Verify Error: " + fileName + " differs at " + where.data();
}

Result Finish(Operation& op, Outcome outcome, const std::string& text, const std::string& detail) {
  // Work done after the writer was lost, or with bytes that never crossed, did not happen as
  // the operation counted it: it is no success.
  if (outcome == Outcome::Success && op.link.lostContact()) return Finish(op, Outcome::Failed, std::string(kLinkLost));
  // Work whose traffic the trace does not hold whole is not the success the user asked for.
  if (const std::string failure = op.link.traceFailure(); outcome == Outcome::Success && !failure.empty())
    return Finish(op, Outcome::Failed, std::string(kWritingFileError), failure);
  op.window.SetWork(text);
  op.window.Beep();
  return {outcome, text, detail};
}

Result TraceChecked(Operation& op, Result result) {
  op.link.flushTrace();
  const std::string failure = op.link.traceFailure();
  if (failure.empty() || (result.text == kWritingFileError && result.detail == failure)) return result;
  return Finish(op, Outcome::Failed, std::string(kWritingFileError), failure);
}

namespace {

std::string OnlyFirstUsed(const std::string& file, std::uint64_t used, std::uint64_t fileBytes) {
  return "Only the first " + std::to_string(used) + " of " + std::to_string(fileBytes) + " bytes of " + file +
         " were used";
}

}  // namespace

std::string SaveFileSizeDetail(const std::string& file, std::uint64_t areaBytes) {
  std::error_code error;
  const std::uint64_t fileBytes = std::filesystem::file_size(file, error);
  if (error) return {};
  const std::string n = std::to_string(fileBytes), m = std::to_string(areaBytes);
  if (fileBytes < areaBytes) return file + " holds " + n + " bytes; this save area needs " + m + " bytes";
  // Emulators append a real-time clock's state to a save: that is no surprise.
  const std::uint64_t surplus = fileBytes - areaBytes;
  if (surplus == 0 || surplus == kClockBlock || surplus == kClockBlockLong) return {};
  return OnlyFirstUsed(file, areaBytes, fileBytes);
}

std::string ImageFileSizeDetail(const std::string& file, std::uint64_t declaredBytes) {
  std::error_code error;
  const std::uint64_t fileBytes = std::filesystem::file_size(file, error);
  if (error || fileBytes <= declaredBytes) return {};
  return OnlyFirstUsed(file, declaredBytes, fileBytes) + " (its header declares " + std::to_string(declaredBytes) + ")";
}

int StatusOfSent(link::Link& link, std::uint64_t commandsBefore, std::uint64_t sent, int (link::Link::*query)()) {
  if (link.commandsStarted() - commandsBefore < sent) return -1;
  if (!link.stopRequested()) return (link.*query)();
  const link::Link::ClosingCommands confirm(link);
  return (link.*query)();
}

std::string SuggestedFileName(std::string_view title, std::string_view extension) {
  const auto kept = [](unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == ' ' || c == '.' ||
           c == '-' || c == '_';
  };
  const auto big5Lead = [](unsigned char c) { return c >= 0x81 && c <= 0xFE; };
  const auto big5Trail = [](unsigned char c) { return (c >= 0x40 && c <= 0x7E) || (c >= 0xA1 && c <= 0xFE); };
  title = title.substr(0, title.find('\0'));
  std::string name;
  for (std::size_t i = 0; i < title.size(); ++i) {
    const auto c = static_cast<unsigned char>(title[i]);
    if (kept(c)) {
      name += static_cast<char>(c);
      continue;
    }
    if (big5Lead(c) && i + 1 < title.size() && big5Trail(static_cast<unsigned char>(title[i + 1]))) ++i;
    name += '_';
  }
  const std::size_t first = name.find_first_not_of(" .");
  name = first == std::string::npos ? std::string() : name.substr(first, name.find_last_not_of(" .") - first + 1);
  if (name.empty()) name = "card";
  return name + std::string(extension);
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
