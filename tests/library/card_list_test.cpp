// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/card_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/library/test_files.h"

namespace quillon::library {
namespace {

using testing::GbHeader;
using testing::TempDir;
using testing::WriteBytes;
using testing::WriteGbImage;
using testing::WriteWsImage;

constexpr int kMono = 0x00;
constexpr int kColor = 0x80;

GbHeader Image(int romCode, int ramCode = 0, int colorByte = kMono, int type = 0x19) {
  return GbHeader{"T", type, romCode, ramCode, colorByte};
}

GbFacts Facts(const GbHeader& h) {
  GbFacts f;
  f.status = GbFacts::Ok;
  f.title = h.title;
  f.type = h.type;
  f.romCode = h.romCode;
  f.ramCode = h.ramCode;
  f.color = (h.colorByte & 0x80) != 0 ? 1 : 0;
  return f;
}

// Writes each image as "e<i>.gb" and adds it; every one must be accepted.
void AddAll(CardList& list, const TempDir& dir, const std::vector<GbHeader>& images, int writerType = 0) {
  for (std::size_t i = 0; i < images.size(); ++i) {
    const std::string name = std::string("e") + std::to_string(i) + ".gb";
    WriteGbImage(dir.path() / name, images[i]);
    const AddResult result = list.AddGbImage(dir.path(), name, static_cast<WriterType>(writerType));
    ASSERT_TRUE(result.added) << name << ": " << result.message;
  }
}

TEST(VerdictMessage, Verdicts_GiveTheirTexts) {
  const std::vector<std::pair<int, const char*>> cases = {{0, ""},
                                                          {1, "File name duplication"},
                                                          {2, "ROM type error"},
                                                          {3, "ROM size error"},
                                                          {4, "ROM size too big"},
                                                          {5, "RAM size error"},
                                                          {6, "RAM size too big"},
                                                          {7, "Can't mix color and mono ROMs"},
                                                          {8, ""},
                                                          {-1, ""}};
  for (const auto& [verdict, text] : cases) EXPECT_EQ(VerdictMessage(verdict), text) << verdict;
}

struct CheckCase {
  const char* what;
  std::vector<GbHeader> onCard;  // added first, as e0.gb, e1.gb, ...
  std::string name;              // file name of the candidate
  GbHeader candidate;
  int writerType;
  int verdict;
};

std::vector<CheckCase> CheckCases() {
  const GbHeader small = Image(0);
  return {
      {"empty card", {}, "n.gb", small, 0, 0},
      {"duplicate name", {small}, "e0.gb", small, 0, 1},
      {"names differ in case", {small}, "E0.gb", small, 0, 0},
      {"names differ in extension", {small}, "e0.gbc", small, 0, 0},
      {"duplicate before colour", {small}, "e0.gb", Image(0, 0, kColor), 0, 1},
      {"type 0x04", {}, "n.gb", Image(0, 0, kMono, 0x04), 0, 2},
      {"type 0x11", {}, "n.gb", Image(0, 0, kMono, 0x11), 0, 2},
      {"type 0xFE", {}, "n.gb", Image(0, 0, kMono, 0xFE), 0, 0},
      {"ROM code 0x52", {}, "n.gb", Image(0x52), 0, 3},
      {"ROM code 8", {}, "n.gb", Image(8), 0, 3},
      {"ROM code 7 alone", {}, "n.gb", Image(7), 0, 0},
      {"RAM code 4", {}, "n.gb", Image(0, 4), 0, 5},
      {"RAM code 0xFF", {}, "n.gb", Image(0, 0xFF), 0, 5},
      {"RAM code 3 alone", {}, "n.gb", Image(0, 3), 0, 0},
      // Order of the tests.
      {"type before ROM code", {}, "n.gb", Image(0x52, 0, kMono, 0x04), 0, 2},
      {"ROM code before RAM code", {}, "n.gb", Image(0x52, 4), 0, 3},
      {"ROM capacity before RAM code", {Image(7)}, "n.gb", Image(0, 4), 0, 4},
      {"colour before type", {small}, "n.gb", Image(0, 0, kColor, 0x04), 0, 7},
      {"colour before ROM code", {small}, "n.gb", Image(0x52, 0, kColor), 0, 7},
      {"colour before ROM capacity", {Image(7)}, "n.gb", Image(0, 0, kColor), 0, 7},
      {"colour before RAM code", {small}, "n.gb", Image(0, 4, kColor), 0, 7},
      {"mono after colour", {Image(0, 0, kColor)}, "n.gb", small, 0, 7},
      {"colour after colour", {Image(0, 0, kColor)}, "n.gb", Image(1, 0, kColor), 0, 0},
      {"colour bit 6 only is mono", {small}, "n.gb", Image(0, 0, 0x40), 0, 0},
      // ROM capacity in slots of 4 Mbit.
      {"eighth small image",
       {Image(0), Image(1), Image(2), Image(3), Image(4), Image(0), Image(1)},
       "n.gb",
       Image(4),
       0,
       0},
      {"ninth small image",
       {Image(0), Image(1), Image(2), Image(3), Image(4), Image(0), Image(1), Image(2)},
       "n.gb",
       Image(3),
       0,
       4},
      {"after code 7, small", {Image(7)}, "n.gb", Image(0), 0, 4},
      {"after code 7, code 7", {Image(7)}, "n.gb", Image(7), 0, 4},
      {"code 7 after small", {Image(0)}, "n.gb", Image(7), 0, 4},
      {"two code 6", {Image(6)}, "n.gb", Image(6), 0, 0},
      {"after two code 6, small", {Image(6), Image(6)}, "n.gb", Image(0), 0, 4},
      {"6 + 5 + 0 + 0 fills", {Image(6), Image(5), Image(0)}, "n.gb", Image(0), 0, 0},
      {"6 + 5 + 0 + 0 + 0", {Image(6), Image(5), Image(0), Image(0)}, "n.gb", Image(0), 0, 4},
      {"6 + 5 + 5 fills", {Image(6), Image(5)}, "n.gb", Image(5), 0, 0},
      {"0 + 0 + 0 + 5 + 6", {Image(0), Image(0), Image(0), Image(5)}, "n.gb", Image(6), 0, 4},
      {"four code 5", {Image(5), Image(5), Image(5)}, "n.gb", Image(5), 0, 0},
      {"four code 5 then small", {Image(5), Image(5), Image(5), Image(5)}, "n.gb", Image(0), 0, 4},
      // Save memory in units of 8 KB: 16 for "GB", 8 for the others.
      {"four RAM code 3, GB", {Image(0, 3), Image(0, 3), Image(0, 3)}, "n.gb", Image(0, 3), 0, 0},
      {"five RAM code 3, GB", {Image(0, 3), Image(0, 3), Image(0, 3), Image(0, 3)}, "n.gb", Image(0, 3), 0, 6},
      {"four RAM code 3 then code 1, GB",
       {Image(0, 3), Image(0, 3), Image(0, 3), Image(0, 3)},
       "n.gb",
       Image(0, 1),
       0,
       6},
      {"four RAM code 3 then none, GB",
       {Image(0, 3), Image(0, 3), Image(0, 3), Image(0, 3)},
       "n.gb",
       Image(0, 0),
       0,
       0},
      {"second RAM code 3, GB+Password", {Image(0, 3)}, "n.gb", Image(0, 3), 1, 0},
      {"third RAM code 3, GB+Password", {Image(0, 3), Image(0, 3)}, "n.gb", Image(0, 3), 1, 6},
      {"third RAM code 3, WS limit", {Image(0, 3), Image(0, 3)}, "n.gb", Image(0, 3), 2, 6},
      {"two RAM code 3 then code 2, GB+Password", {Image(0, 3), Image(0, 3)}, "n.gb", Image(0, 2), 1, 6},
      {"code 1 and 2 then code 3, GB+Password", {Image(0, 1), Image(0, 2), Image(0, 1)}, "n.gb", Image(0, 3), 1, 0},
      {"seven small saves then code 3, GB+Password",
       {Image(0, 1), Image(0, 2), Image(0, 1), Image(0, 2), Image(0, 1), Image(0, 2), Image(0, 1)},
       "n.gb",
       Image(0, 3),
       1,
       6},
      {"seven small saves then code 3, GB",
       {Image(0, 1), Image(0, 2), Image(0, 1), Image(0, 2), Image(0, 1), Image(0, 2), Image(0, 1)},
       "n.gb",
       Image(0, 3),
       0,
       0},
  };
}

TEST(CheckGbImage, Cases_GiveVerdictInOrder) {
  for (const CheckCase& c : CheckCases()) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    CardList list;
    AddAll(list, dir, c.onCard);
    ASSERT_EQ(list.count(), static_cast<int>(c.onCard.size()));
    EXPECT_EQ(list.CheckGbImage(c.name, Facts(c.candidate), static_cast<WriterType>(c.writerType)), c.verdict);

    // Adding the same file gives the same verdict, its message, and changes the list
    // only when accepted.
    WriteGbImage(dir.path() / c.name, c.candidate);
    const AddResult result = list.AddGbImage(dir.path(), c.name, static_cast<WriterType>(c.writerType));
    EXPECT_EQ(result.added, c.verdict == 0);
    EXPECT_EQ(result.message, VerdictMessage(c.verdict));
    EXPECT_EQ(list.count(), static_cast<int>(c.onCard.size()) + (c.verdict == 0 ? 1 : 0));
  }
}

TEST(AddGbImage, Accepted_FillsEntryAndCardRow) {
  TempDir dir;
  WriteGbImage(dir.path() / "pm.gbc", GbHeader{"POCKET MONSTERS", 0x13, 6, 3, 0x80}, 0x400);
  CardList list;
  const AddResult result = list.AddGbImage(dir.path(), "pm.gbc", WriterType::Gb);
  ASSERT_TRUE(result.added) << result.message;
  EXPECT_EQ(result.message, "");
  const ListRow expectedRow{"pm.gbc", "POCKET MONSTERS", "MBC3", "16M", "256K", "C"};
  EXPECT_EQ(result.row, expectedRow);
  ASSERT_EQ(list.count(), 1);
  ASSERT_EQ(list.rows().size(), 1u);
  EXPECT_EQ(list.rows()[0], expectedRow);

  const RomEntry& e = list.entries()[0];
  EXPECT_EQ(e.directory, std::filesystem::absolute(dir.path()));
  EXPECT_EQ(e.fileName, "pm.gbc");
  EXPECT_EQ(e.file(), std::filesystem::absolute(dir.path()) / "pm.gbc");
  EXPECT_TRUE(std::filesystem::is_regular_file(e.file()));
  EXPECT_EQ(e.title, "POCKET MONSTERS");
  EXPECT_EQ(e.mapperClass, 2);
  EXPECT_EQ(e.romClass, 1);
  EXPECT_EQ(e.ramClass, 2);
  EXPECT_EQ(e.color, 1);
  EXPECT_EQ(e.romSizeCode, 6);
}

TEST(AddGbImage, CardRowTexts_ShowSlots) {
  struct SlotCase {
    int romCode, ramCode;
    const char* rom;
    const char* ram;
  };
  const std::vector<SlotCase> cases = {
      {2, 1, "4M", "64K"}, {0, 2, "4M", "64K"}, {5, 0, "8M", "None"}, {7, 3, "32M", "256K"}};
  for (const SlotCase& c : cases) {
    TempDir dir;
    WriteGbImage(dir.path() / "g.gb", Image(c.romCode, c.ramCode));
    CardList list;
    const AddResult result = list.AddGbImage(dir.path(), "g.gb", WriterType::Gb);
    ASSERT_TRUE(result.added);
    EXPECT_EQ(result.row.rom, c.rom) << "ROM code " << c.romCode;
    EXPECT_EQ(result.row.ram, c.ram) << "RAM code " << c.ramCode;
  }
}

TEST(AddGbImage, UnreadableFiles_AreRefusedBeforeTheChecks) {
  TempDir dir;
  CardList list;
  AddAll(list, dir, {Image(0)});
  // e0.gb is on the card; made short, it is refused for its length, not as a duplicate.
  WriteBytes(dir.path() / "e0.gb", std::vector<unsigned char>(0x14F, 0x00));
  struct RefusalCase {
    const char* name;
    const char* message;
  };
  WriteBytes(dir.path() / "empty.gb", {});
  for (const RefusalCase& c :
       {RefusalCase{"missing.gb", "Opening File missing.gb Error"}, RefusalCase{"e0.gb", "Reading e0.gb Error"},
        RefusalCase{"empty.gb", "Reading empty.gb Error"}}) {
    const AddResult result = list.AddGbImage(dir.path(), c.name, WriterType::Gb);
    EXPECT_FALSE(result.added);
    EXPECT_EQ(result.message, c.message);
    EXPECT_EQ(list.count(), 1);
    EXPECT_EQ(list.rows().size(), 1u);
  }
}

TEST(CardList, NeverHoldsMoreThanEightGbImages) {
  TempDir dir;
  CardList list;
  int accepted = 0;
  for (int i = 0; i < 30; ++i) {
    const std::string name = std::string("s") + std::to_string(i) + ".gb";
    WriteGbImage(dir.path() / name, Image(i % 5, i % 3));
    const AddResult result = list.AddGbImage(dir.path(), name, WriterType::Gb);
    if (result.added) {
      ++accepted;
    } else {
      EXPECT_EQ(result.message, "ROM size too big");
    }
  }
  EXPECT_EQ(accepted, 8);
  EXPECT_EQ(list.count(), 8);
  EXPECT_LE(list.count(), CardList::kMaxEntries);
}

std::vector<std::string> Names(const CardList& list) {
  std::vector<std::string> names;
  for (const RomEntry& e : list.entries()) names.push_back(e.fileName);
  return names;
}

TEST(RemoveEntry, MiddleOfThree_KeepsOrderOfEntriesAndRows) {
  TempDir dir;
  CardList list;
  AddAll(list, dir, {Image(0, 0), Image(5, 1), Image(6, 3)});
  list.RemoveEntry(1);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"e0.gb", "e2.gb"}));
  ASSERT_EQ(list.rows().size(), 2u);
  EXPECT_EQ(list.rows()[0].file, "e0.gb");
  EXPECT_EQ(list.rows()[1].file, "e2.gb");
  EXPECT_EQ(list.rows()[1].rom, "16M");
  EXPECT_EQ(list.entries()[1].romClass, 1);
  EXPECT_EQ(list.entries()[1].ramClass, 2);
  // The freed slots count again: a code 5 image fits where the removed one was.
  WriteGbImage(dir.path() / "again.gb", Image(5));
  EXPECT_TRUE(list.AddGbImage(dir.path(), "again.gb", WriterType::Gb).added);
}

TEST(RemoveEntry, IndexOutOfRange_ChangesNothing) {
  TempDir dir;
  CardList empty;
  for (int index : {-1, 0, 1}) {
    empty.RemoveEntry(index);
    EXPECT_EQ(empty.count(), 0);
  }
  CardList list;
  AddAll(list, dir, {Image(0), Image(1), Image(2)});
  for (int index : {-1, 3, 100}) {
    list.RemoveEntry(index);
    EXPECT_EQ(Names(list), (std::vector<std::string>{"e0.gb", "e1.gb", "e2.gb"}));
    EXPECT_EQ(list.rows().size(), 3u);
  }
}

TEST(RemoveEntry, FirstDeleted_NextEntryDecidesColour) {
  TempDir dir;
  CardList list;
  AddAll(list, dir, {Image(0, 0, kMono), Image(1, 0, kMono)});
  const GbFacts colour = Facts(Image(0, 0, kColor));
  const GbFacts mono = Facts(Image(0, 0, kMono));
  list.RemoveEntry(0);
  EXPECT_EQ(list.CheckGbImage("n.gb", colour, WriterType::Gb), kColorMix);
  EXPECT_EQ(list.CheckGbImage("n.gb", mono, WriterType::Gb), kAccepted);
  list.RemoveEntry(0);
  EXPECT_EQ(list.CheckGbImage("n.gb", colour, WriterType::Gb), kAccepted);
}

TEST(CardList, ClearEmptiesEntriesAndRows) {
  TempDir dir;
  CardList list;
  AddAll(list, dir, {Image(7)});
  list.clear();
  EXPECT_EQ(list.count(), 0);
  EXPECT_TRUE(list.rows().empty());
  EXPECT_EQ(list.CheckGbImage("e0.gb", Facts(Image(7, 0, kColor)), WriterType::Gb), kAccepted);
}

TEST(SetPlacement, SetsOnlyThePlacementFields) {
  TempDir dir;
  CardList list;
  AddAll(list, dir, {Image(0), Image(6, 3)});
  EXPECT_TRUE(list.SetPlacement(1, 32, 4));
  EXPECT_EQ(list.entries()[1].romStartBank, 32);
  EXPECT_EQ(list.entries()[1].ramStartUnit, 4);
  EXPECT_EQ(list.entries()[1].romClass, 1);
  EXPECT_EQ(list.entries()[0].romStartBank, 0);
  EXPECT_FALSE(list.SetPlacement(2, 1, 1));
  EXPECT_FALSE(list.SetPlacement(-1, 1, 1));
}

TEST(AddWsImage, SecondImage_RefusedUntilDeleted) {
  TempDir dir;
  WriteWsImage(dir.path() / "a.ws", 0x80000, 0x20);
  WriteWsImage(dir.path() / "b.wsc", 0x100200, 0x01);
  CardList list;
  AddResult first = list.AddWsImage(dir.path(), "a.ws");
  ASSERT_TRUE(first.added) << first.message;
  EXPECT_EQ(first.row, (ListRow{"a.ws", "", "", "4M", "16K EEPROM", ""}));

  for (const char* name : {"b.wsc", "a.ws"}) {
    const AddResult second = list.AddWsImage(dir.path(), name);
    EXPECT_FALSE(second.added);
    EXPECT_EQ(second.message, "Have selected ROM");
    EXPECT_EQ(list.count(), 1);
  }

  list.RemoveEntry(0);
  const AddResult afterDelete = list.AddWsImage(dir.path(), "b.wsc");
  ASSERT_TRUE(afterDelete.added);
  EXPECT_EQ(afterDelete.row, (ListRow{"b.wsc", "", "", "8M", "64K SRAM", ""}));
  EXPECT_EQ(list.entries()[0].fileName, "b.wsc");

  list.clear();
  EXPECT_TRUE(list.AddWsImage(dir.path(), "a.ws").added);
}

TEST(AddWsImage, SaveType_GivesRamClass) {
  const std::vector<std::pair<int, int>> cases = {{0x00, 0}, {0x01, 0}, {0x02, 0}, {0x10, 1}, {0x20, 1}, {0x30, 0}};
  for (const auto& [saveType, ramClass] : cases) {
    TempDir dir;
    WriteWsImage(dir.path() / "g.ws", 0x400000, saveType);
    CardList list;
    ASSERT_TRUE(list.AddWsImage(dir.path(), "g.ws").added);
    EXPECT_EQ(list.entries()[0].ramClass, ramClass) << "save type " << saveType;
    EXPECT_EQ(list.entries()[0].file(), std::filesystem::absolute(dir.path()) / "g.ws");
  }
}

TEST(AddWsImage, WrongSizeAccepted_MissingFileRefused) {
  TempDir dir;
  WriteWsImage(dir.path() / "odd.ws", 0x300000, 0x10);
  CardList list;
  const AddResult missing = list.AddWsImage(dir.path(), "none.ws");
  EXPECT_FALSE(missing.added);
  EXPECT_EQ(missing.message, "Opening File none.ws Error");
  EXPECT_EQ(list.count(), 0);
  const AddResult odd = list.AddWsImage(dir.path(), "odd.ws");
  ASSERT_TRUE(odd.added);
  EXPECT_EQ(odd.row.rom, "Error");
  EXPECT_EQ(list.entries()[0].ramClass, 1);
}

}  // namespace
}  // namespace quillon::library
