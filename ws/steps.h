// Pieces shared by the WS operations: how an operation ends, progress, the card check and
// the flash and save memory command sequences that writing and erasing both use.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "ops/operation.h"

namespace quillon::ws {

inline constexpr int kWsWriter = 2;                 // the writer type whose probe is the WS one
inline constexpr std::int32_t kWsFlashCardId = 0x2382;
inline constexpr unsigned kBlocks = 128;             // 32 KiB blocks of the 4 MiB card
inline constexpr std::size_t kBlockSize = 0x8000;    // one link transfer, at 0x8000
inline constexpr std::size_t kSaveSize = 0x8000;     // the save memory, always whole
inline constexpr std::uint16_t kWindow = 0x8000;     // link address of the transfer window

// Bank registers and window modes of the WS card.
inline constexpr std::uint8_t kRegSave = 0xC1;
inline constexpr std::uint8_t kRegWrite = 0xC2;  // erasing and writing
inline constexpr std::uint8_t kRegRead = 0xC3;
inline constexpr std::uint8_t kModeSave = 0x22;
inline constexpr std::uint8_t kModeWriteLow = 0x24;
inline constexpr std::uint8_t kModeWriteHigh = 0x25;
inline constexpr std::uint8_t kModeReadLow = 0x26;

// How one step of a sequence ended.
enum class Step { Ok, Failed, Stopped };

// printf-style text of a label.
std::string Format(const char* format, unsigned a, unsigned b);
std::string Format(const char* format, const std::string& name);

// Ends an operation: the text stays in the step label, the window beeps. A stopped
// operation ends without a beep: its window is closing.
ops::Result Finish(ops::Operation& op, ops::Outcome outcome, const std::string& text);
ops::Result Stopped();

// Counts the operation's work in bytes for the window's progress display.
class ProgressMeter {
 public:
  ProgressMeter(ops::ProgressWindow& window, std::uint64_t total) : window_(window), total_(total) {
    window_.Progress(0, total_);
  }
  void Advance(std::uint64_t bytes) {
    done_ += bytes;
    window_.Progress(done_, total_);
  }

 private:
  ops::ProgressWindow& window_;
  std::uint64_t total_;
  std::uint64_t done_ = 0;
};

// Checks the link and probes the card (handing the result to the window). `requireFlashCard`:
// anything but the writer's WS flash card is refused. Failure texts: "Linking Fail" and
// "Card is not inserted right or FLASH ROM is not supported".
Step CheckWsCard(ops::Operation& op, bool requireFlashCard, std::string& failure);

// The erase commands before block b is written (or erased): the bank's first sector when b
// starts a bank, the status check, and for blocks 63 and 127 the sectors of the upper half
// of the last bank of each 2 MiB half with their status check. `upperLabel` is shown before
// those extra commands when not empty. Failed: "Earsing Flash ROM Fail".
Step EraseBeforeBlock(ops::Operation& op, unsigned block, const std::string& upperLabel);

// Selects the save memory at the transfer window.
void SelectSaveMemory(link::Link& link);

// Clears the save memory ("Earsing RAM") and sends the closing commands of writing and
// erasing. Failed: "Earsing RAM Fail".
Step ClearSaveAndFinish(ops::Operation& op, ProgressMeter& meter);

}  // namespace quillon::ws
