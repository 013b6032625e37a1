// SPDX-License-Identifier: GPL-3.0-or-later
// The file names the save dialogs offer for a game's title.
#include <gtest/gtest.h>

#include <string>

#include "ops/operation_steps.h"

namespace quillon::ops {
namespace {

struct NameCase {
  const char* name;
  std::string title;  // raw title bytes, as the header or the card's directory holds them
  const char* extension;
  const char* expected;
};

class SuggestedName : public ::testing::TestWithParam<NameCase> {};

TEST_P(SuggestedName, Title_keptCharactersAndExtension) {
  const NameCase& c = GetParam();
  EXPECT_EQ(SuggestedFileName(c.title, c.extension), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Titles, SuggestedName,
    ::testing::Values(
        NameCase{"plain", "TETRIS", ".gb", "TETRIS.gb"},
        NameCase{"keptPunctuation", "POCKET-RACER_2 v1.1", ".gbc", "POCKET-RACER_2 v1.1.gbc"},
        NameCase{"oddCharacters", "PKMN: R/B*?<>|\\\"", ".gb", "PKMN_ R_B_______.gb"},
        NameCase{"zeroBytesEndIt", std::string("ZELDA\0\0\0GARBAGE", 15), ".gbc", "ZELDA.gbc"},
        NameCase{"controlByte", "A\tB\x7F", ".sav", "A_B_.sav"},
        NameCase{"big5PairIsOneCharacter", "\xA4\xA4\xA4\xE5 GAME", ".gb", "__ GAME.gb"},
        NameCase{"latin1", "CAF\xC9/", ".gb", "CAF__.gb"}, NameCase{"noHiddenName", "..HIDDEN.", ".gb", "HIDDEN.gb"},
        NameCase{"spacesAround", "  SPACED  ", ".sav", "SPACED.sav"}, NameCase{"empty", "", ".gb", "card.gb"},
        NameCase{"onlyZeros", std::string(15, '\0'), ".gbc", "card.gbc"},
        NameCase{"onlyDots", "...", ".sav", "card.sav"}, NameCase{"onlyOddCharacters", "???", ".ws", "___.ws"}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace quillon::ops
