#include "detect/card_info.h"

#include <algorithm>

namespace quillon::detect {

namespace {
constexpr std::size_t kTitle = 0x134;
constexpr std::size_t kColourFlag = 0x143;
constexpr std::size_t kCartType = 0x147;
constexpr std::size_t kRomSizeCode = 0x148;
constexpr std::size_t kRamSizeCode = 0x149;
}  // namespace

void ReadHeaderFacts(const std::uint8_t* header, CardEntry& entry) {
  // All 16 bytes up to and including the colour flag, as stored.
  std::copy_n(header + kTitle, 16, entry.name.begin());
  entry.name[16] = '\0';
  entry.type = header[kCartType];
  entry.romSize = header[kRomSizeCode];
  entry.ramSize = header[kRamSizeCode];
  entry.color = (header[kColourFlag] & 0x80) ? 1 : 0;
}

}  // namespace quillon::detect
