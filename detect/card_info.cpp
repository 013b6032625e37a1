// SPDX-License-Identifier: GPL-3.0-or-later
#include "detect/card_info.h"

#include <algorithm>

#include "library/gb_header.h"

namespace quillon::detect {

using namespace library::gb_header;

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
