// SPDX-License-Identifier: GPL-3.0-or-later
// ApplyIpsPatch against hand-made edge cases and against patches made by public IPS tools.
#include <gtest/gtest.h>

#include "ws_bench.h"

namespace quillon::wstest {
namespace {

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }
Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
// A record: 3-byte offset, 2-byte length, data.
Bytes Rec(unsigned offset, const Bytes& data) {
  Bytes r{static_cast<std::uint8_t>(offset >> 16), static_cast<std::uint8_t>(offset >> 8),
          static_cast<std::uint8_t>(offset), static_cast<std::uint8_t>(data.size() >> 8),
          static_cast<std::uint8_t>(data.size())};
  return r + data;
}
// A run-length record: length 0, 2-byte count, the value.
Bytes Run(unsigned offset, unsigned count, std::uint8_t value) {
  return Rec(offset, {}) + Bytes{static_cast<std::uint8_t>(count >> 8), static_cast<std::uint8_t>(count), value};
}

struct IpsCase {
  const char* name;
  Bytes patch;
  int result;
  std::vector<std::pair<std::size_t, std::uint8_t>> changed;  // bytes of the 16-byte image it changes
};

class IpsEdges : public ::testing::TestWithParam<IpsCase> {};

TEST_P(IpsEdges, Patch_resultAndImage) {
  const IpsCase& c = GetParam();
  const Bytes before = WsImage(16, 1);
  Bytes image = before;
  EXPECT_EQ(ws::ApplyIpsPatch(image, c.patch), c.result);
  Bytes expected = before;
  for (const auto& [offset, value] : c.changed) expected[offset] = value;
  EXPECT_EQ(image, expected);
}

const Bytes P = Text("PATCH"), E = Text("EOF");

INSTANTIATE_TEST_SUITE_P(
    Cases, IpsEdges,
    ::testing::Values(
        IpsCase{"empty", {}, 0, {}}, IpsCase{"headerOnly", P, 0, {}}, IpsCase{"headerAndEnd", P + E, 0, {}},
        IpsCase{"shortHeader", Text("PATC"), 1, {}}, IpsCase{"wrongHeader", Text("PATCX") + E, 1, {}},
        IpsCase{"recordWithoutEnd", P + Rec(3, {0xA1, 0xA2}), 0, {{3, 0xA1}, {4, 0xA2}}},
        IpsCase{"recordAndEnd", P + Rec(15, {0xB1}) + E, 0, {{15, 0xB1}}},
        IpsCase{"recordPastImage", P + Rec(15, {0xB1, 0xB2}) + E, 1, {}},
        IpsCase{"bytesAfterEnd", P + Rec(0, {0xC1}) + E + Bytes{0}, 1, {}}, IpsCase{"endTwice", P + E + E, 1, {}},
        IpsCase{"cutEnd", P + Text("EO"), 1, {}}, IpsCase{"wrongEnd", P + Rec(0, {0xC1}) + Text("EOX"), 1, {}},
        IpsCase{"cutRecordHeader", P + Bytes{0, 0, 1, 0}, 1, {}},
        IpsCase{"lastRecordShort", P + Rec(0, {0xD1}) + Bytes{0, 0, 2, 0, 3, 0xD2} + E, 1, {}},
        IpsCase{"laterRecordWins", P + Rec(1, {0xE1, 0xE2}) + Rec(2, {0xE3}) + E, 0, {{1, 0xE1}, {2, 0xE3}}},
        IpsCase{"run", P + Run(12, 4, 0x5C) + E, 0, {{12, 0x5C}, {13, 0x5C}, {14, 0x5C}, {15, 0x5C}}},
        IpsCase{"runPastImage", P + Rec(0, {0xF1}) + Run(13, 4, 0x5C) + E, 1, {}},
        IpsCase{"runCut", P + Rec(0, {0xF1}) + Rec(4, {}) + Bytes{0, 2}, 1, {}}),
    [](const auto& param) { return std::string(param.param.name); });

struct RealPatch {
  const char* patch;
  const char* base;
  const char* target;
};

class RealPatches : public ::testing::TestWithParam<RealPatch> {};

TEST_P(RealPatches, ToolPatch_rebuildsTarget) {
  Bytes image = DataFile(GetParam().base);
  const Bytes target = DataFile(GetParam().target);
  ASSERT_NE(image, target);
  EXPECT_EQ(ws::ApplyIpsPatch(image, DataFile(GetParam().patch)), 0);
  EXPECT_EQ(image, target);
}

INSTANTIATE_TEST_SUITE_P(
    Tools, RealPatches,
    ::testing::Values(RealPatch{"flips_ws_orig_to_checksummed.ips", "test.orig.ws", "test.python.ws"},
                      RealPatch{"rpjs_ws_orig_to_checksummed.ips", "test.orig.ws", "test.python.ws"},
                      RealPatch{"flips_totpgbc_to_totpgb.ips", "totp-gbc.gbc", "totp-gb.gb"},
                      RealPatch{"rpjs_totpgbc_to_totpgb.ips", "totp-gbc.gbc", "totp-gb.gb"}),
    [](const auto& param) {
      std::string name = param.param.patch;
      return name.substr(0, name.find('.'));
    });

TEST(RealPatches, MalformedPatch_rejected_imageUnchanged) {
  const Bytes base = DataFile("totp-gbc.gbc");
  Bytes image = base;
  EXPECT_EQ(ws::ApplyIpsPatch(image, DataFile("gible_test_malformed.ips")), 1);
  EXPECT_EQ(image, base);
}

// A patch meant for a larger image is refused whole, its earlier records included.
TEST(RealPatches, PatchForLargerImage_rejected_imageUnchanged) {
  const Bytes base = DataFile("totp-gbc.gbc");
  Bytes image(base.begin(), base.begin() + 0x4000);
  const Bytes before = image;
  EXPECT_EQ(ws::ApplyIpsPatch(image, DataFile("flips_totpgbc_to_totpgb.ips")), 1);
  EXPECT_EQ(image, before);
}

}  // namespace
}  // namespace quillon::wstest
