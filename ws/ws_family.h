// SPDX-License-Identifier: GPL-3.0-or-later
// The WS card family (writer type "WS"): the WS operations of ws_operations.h behind
// ops::CardFamily, and what the WS commands ask.
#pragma once

#include "ops/card_family.h"

namespace quillon::ws {

// The WS family; it holds no state.
const ops::CardFamily& Family();

// A WS image's save class (RomEntry::ramClass) that saves in EEPROM (save type 0x10, 0x20):
// writing such an image asks for a patch.
inline constexpr int kEepromSave = 1;

}  // namespace quillon::ws
