// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench.h"

#include <unistd.h>

namespace quillon::gbtest {

TempDir::TempDir() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = info ? std::string(info->test_suite_name()) + "-" + info->name() : "gb";
  for (char& c : name) {
    if (c == '/') c = '-';
  }
  path_ = fs::temp_directory_path() / ("quillon-gb-" + name + "-" + std::to_string(::getpid()));
  fs::remove_all(path_);
  fs::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

namespace {

link::LinkOptions QuietOptions(std::ostream& diagnostics) {
  link::LinkOptions options;
  options.diagnostics = &diagnostics;
  return options;
}

}  // namespace

Bench::Bench(sim::CardContents card, sim::Faults faults)
    : writer(std::make_unique<sim::SimWriter>(std::move(card), std::move(faults))),
      link(std::make_unique<link::Link>(*writer, QuietOptions(diagnostics))) {
  state.programDir = dir.path().string() + "/";
  state.cardInfo.kind = detect::kNoAnswer;
  WriteMenuImages(support::makeMenuImage(0x4000, "MENU GB"), support::makeMenuImage(0x8000, "MENU PASSWORD"));
}

Bench::~Bench() {
  if (notesExpected) return;
  std::string notes;
  for (const std::string& note : writer->unexpected()) notes += note + "\n";
  EXPECT_EQ(notes, "") << "the writer noted commands it did not expect";
}

detect::ProbeOutcome Bench::Probe() { return detect::ProbeCard(*link, state.writerType(), state.cardInfo); }

void Bench::WriteMenuImages(const Bytes& gb, const Bytes& password) {
  support::writeFile(dir / "cgbbios.bin", gb);
  support::writeFile(dir / "chtbios.bin", password);
}

void Bench::Compose(const fs::path& from, const std::vector<std::string>& files) {
  for (const std::string& name : files) {
    const auto added = state.writerType() == library::WriterType::Ws
                           ? state.cardList.AddWsImage(from, name)
                           : state.cardList.AddGbImage(from, name, state.writerType());
    ASSERT_TRUE(added.added) << name << ": " << added.message;
  }
}

void Bench::StopAtWork(const std::string& text) {
  window.onWork = [this, text](const std::string& shown) {
    if (shown == text && !stop.StopRequested()) {
      commandsAtStop_ = writer->commands().size();
      stop.RequestStop();
    }
  };
}

void Bench::StopAtProgress(std::uint64_t done) {
  window.onProgress = [this, done](std::uint64_t now) {
    if (now >= done && !stop.StopRequested()) {
      commandsAtStop_ = writer->commands().size();
      stop.RequestStop();
    }
  };
}

void Bench::StopInDialog() {
  window.onDialog = [this] {
    commandsAtStop_ = writer->commands().size();
    stop.RequestStop();
  };
}

bool IsCommand(const sim::CommandRecord& c, std::uint8_t op, std::uint8_t p1, std::uint8_t p2) {
  return c.op == op && c.p1 == p1 && c.p2 == p2;
}

Bytes TestImage(const std::string& name) { return support::readFile(fs::path(QUILLON_TEST_DATA) / "gb" / name); }

Bytes Slice(std::span<const std::uint8_t> memory, std::size_t offset, std::size_t size) {
  return Bytes(memory.begin() + static_cast<std::ptrdiff_t>(offset),
               memory.begin() + static_cast<std::ptrdiff_t>(offset + size));
}

}  // namespace quillon::gbtest
