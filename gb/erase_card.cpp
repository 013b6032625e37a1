// Erasing a GB flash card: the FLASH ROM up to the chosen card size, the BIOS ROM and the
// whole save memory.
#include <array>
#include <vector>

#include "gb/gb_operations.h"
#include "gb/steps.h"

namespace quillon::gb {

namespace {

constexpr unsigned kBlocksSmallCard = 32;  // "16MB Card": 2 MiB of FLASH ROM
constexpr unsigned kBlocksLargeCard = 64;  // "32MB Card": 4 MiB
constexpr int kSaveBanks = 16;             // 128 KiB of save memory, always all of it
constexpr std::size_t kBiosBytes = 8 * kBankSize;  // a method-1 BIOS ROM is erased whole

}  // namespace

ops::Result EraseGbCard(ops::Operation& op, int cardSize) {
  const ops::StopOnLink stopOnLink(op.link, op.stop);
  const auto fail = [&op](const char* text) { return Finish(op, ops::Outcome::Failed, text); };
  op.window.SetFile("");
  ChipMethods methods{};
  std::string failure;
  switch (CheckCard(op, methods, failure)) {
    case Step::Stopped:
      return Stopped();
    case Step::Failed:
      return fail(failure.c_str());
    case Step::Ok:
      break;
  }
  const unsigned blocks = cardSize == 0 ? kBlocksSmallCard : kBlocksLargeCard;
  ProgressMeter meter(op.window, blocks * kBlockSize + kBiosBytes + kSaveBanks * kRamBankSize);

  PrepareCard(op.link, methods.flash);
  for (unsigned b = 0; b < blocks; ++b) {
    const Step step = EraseFlashBlock(op, methods.flash, b, meter);
    if (step == Step::Stopped) return Stopped();
    if (step == Step::Failed) {
      FlashVoltageOff(op.link, methods.flash);
      return fail("Earsing ROM Fail");
    }
  }
  FlashVoltageOff(op.link, methods.flash);

  if (op.stopRequested()) return Stopped();
  op.link.WriteByte(0x0000, kPresentBios);
  op.link.DelayTicks(10000);
  Step step = Step::Ok;
  if (methods.bios == ChipMethod::Method1) {
    // This chip has no erase command: every byte is programmed to 0xFF and read back.
    op.link.DelayTicks(10000);
    op.window.SetWork("Earsing BIOS");
    const std::vector<std::uint8_t> erased(kBiosBytes, 0xFF);
    step = ProgramBiosPieces(op, erased, 8, true, false, meter);
  } else {
    step = EraseBiosChip(op, methods.bios, meter);
    if (step == Step::Ok) meter.Advance(kBiosBytes);
  }
  if (step == Step::Stopped) return Stopped();
  if (step == Step::Failed) return fail("Earsing BIOS Fail");

  if (op.stopRequested()) return Stopped();
  op.link.WriteByte(0x0000, 0x0A);
  op.link.WriteByte(0x1000, 0x0C);
  op.window.SetWork("Earsing RAM");
  const std::vector<std::uint8_t> zeros(kRamBankSize, 0x00);
  for (int r = 0; r < kSaveBanks; ++r) {
    if (op.stopRequested()) return Stopped();
    op.link.WriteByte(0x4000, static_cast<std::uint8_t>(r));
    op.link.WriteBlock(0, 0xA000, zeros);
    const int status = op.link.QueryState3();
    if (op.stopRequested()) return Stopped();
    if (status != 0) return fail("Earsing RAM Fail");
    meter.Advance(kRamBankSize);
  }
  op.link.DelayTicks(65535);
  if (op.stopRequested()) return Stopped();
  return Finish(op, ops::Outcome::Success, "Earsing Success");
}

}  // namespace quillon::gb
