// SPDX-License-Identifier: GPL-3.0-or-later
// The plans of the card commands: what each decides after its probe for every writer type
// and every card, what it asks, and what it hands the operation. The window and quillon-cli
// both act on these answers.
#include "ops/command_plan.h"

#include "cards/families.h"
#include "gb/gb_family.h"
#include "ws/ws_family.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "test_files.h"

namespace quillon::ops {
namespace {

using library::WriterType;
using Next = CommandPlan::Next;

constexpr WriterType kUnknownType = static_cast<WriterType>(3);
constexpr WriterType kNegativeType = static_cast<WriterType>(-1);

detect::CardInfo Cartridge(int romSize, int ramSize) {
  detect::CardInfo info;
  info.kind = detect::kOrdinaryCartridge;
  info.cartridge.romSize = romSize;
  info.cartridge.ramSize = ramSize;
  return info;
}

detect::CardInfo FlashCard(const std::vector<std::string>& titles) {
  detect::CardInfo info;
  info.kind = detect::kFlashCard;
  for (const std::string& title : titles) {
    std::snprintf(info.images[static_cast<std::size_t>(info.count)].name.data(), 17, "%s", title.c_str());
    ++info.count;
  }
  return info;
}

detect::CardInfo NoAnswer() {
  detect::CardInfo info;
  info.kind = detect::kNoAnswer;
  return info;
}

ProgramState StateWith(WriterType type, const detect::CardInfo& info) {
  ProgramState state;
  state.setWriterType(type);
  state.cardInfo = info;
  return state;
}

const std::vector<std::string> kSizes{"16MB Card", "32MB Card"};

// The operation a plan runs, and whose it is.
struct Call {
  const CardFamily* family;
  CardOperation operation;
};
const Call kGbWrite{&gb::Family(), CardOperation::Write};
const Call kGbErase{&gb::Family(), CardOperation::Erase};
const Call kGbRead{&gb::Family(), CardOperation::Read};
const Call kGbBackup{&gb::Family(), CardOperation::BackupRam};
const Call kGbRestore{&gb::Family(), CardOperation::RestoreRam};
const Call kWsWrite{&ws::Family(), CardOperation::Write};
const Call kWsErase{&ws::Family(), CardOperation::Erase};
const Call kWsRead{&ws::Family(), CardOperation::Read};
const Call kWsBackup{&ws::Family(), CardOperation::BackupRam};
const Call kWsRestore{&ws::Family(), CardOperation::RestoreRam};

void ExpectCall(const OperationCall& call, const Call& expected) {
  EXPECT_EQ(call.family, expected.family);
  EXPECT_EQ(call.operation, expected.operation);
}
const std::vector<std::string> kTwo{"ALPHA", "BRAVO"};

struct PlanCase {
  const char* name;
  Command command;
  WriterType type;
  detect::CardInfo card;
  detect::ProbeOutcome probe;
  Next next;
  Call operation;                   // Run, Pick
  std::vector<std::string> items;   // Pick
  std::optional<int> passwordItem;  // Pick
  const char* reason;               // Nothing: a piece of it
  detect::CardKind found;
  bool probeAfter;
};

constexpr auto kProbed = detect::ProbeOutcome::Probed;
constexpr auto kNotProbed = detect::ProbeOutcome::NotProbed;
constexpr auto kNoCard = detect::kNoAnswer;
constexpr auto kCart = detect::kOrdinaryCartridge;
constexpr auto kFlash = detect::kFlashCard;

TEST(PlanCommand, EveryWriterTypeAndCard_NothingPickOrRun) {
  const std::vector<PlanCase> cases = {
      // "Download Card"
      {"read cartridge, ROM code 7",
       Command::DownloadCard,
       WriterType::Gb,
       Cartridge(7, 0),
       kProbed,
       Next::Run,
       kGbRead,
       {},
       {},
       "",
       kCart,
       false},
      {"read cartridge, ROM code 8",
       Command::DownloadCard,
       WriterType::Gb,
       Cartridge(8, 0),
       kProbed,
       Next::Nothing,
       kGbRead,
       {},
       {},
       "ROM size code 0x08 is not one that can be read",
       kCart,
       false},
      {"read empty writer",
       Command::DownloadCard,
       WriterType::GbPassword,
       Cartridge(0xFF, 0xFF),
       kProbed,
       Next::Nothing,
       kGbRead,
       {},
       {},
       "ROM size code 0xFF",
       kCart,
       false},
      {"read flash card",
       Command::DownloadCard,
       WriterType::Gb,
       FlashCard(kTwo),
       kProbed,
       Next::Pick,
       kGbRead,
       kTwo,
       {},
       "",
       kFlash,
       false},
      {"read flash card, GB+Password: no Password row",
       Command::DownloadCard,
       WriterType::GbPassword,
       FlashCard(kTwo),
       kProbed,
       Next::Pick,
       kGbRead,
       kTwo,
       {},
       "",
       kFlash,
       false},
      {"read flash card without images",
       Command::DownloadCard,
       WriterType::Gb,
       FlashCard({}),
       kProbed,
       Next::Pick,
       kGbRead,
       {},
       {},
       "",
       kFlash,
       false},
      {"read, chips not recognised",
       Command::DownloadCard,
       WriterType::Gb,
       NoAnswer(),
       kProbed,
       Next::Nothing,
       kGbRead,
       {},
       {},
       "there is no card to read",
       kNoCard,
       false},
      {"read, writer silent",
       Command::DownloadCard,
       WriterType::Gb,
       NoAnswer(),
       detect::ProbeOutcome::DeviceError,
       Next::Nothing,
       kGbRead,
       {},
       {},
       "Linking Fail",
       kNoCard,
       false},
      {"read WS",
       Command::DownloadCard,
       WriterType::Ws,
       NoAnswer(),
       kNotProbed,
       Next::Run,
       kWsRead,
       {},
       {},
       "",
       kNoCard,
       false},
      // "Download RAM" and "Upload RAM"
      {"backup cartridge, RAM code 1",
       Command::DownloadRam,
       WriterType::Gb,
       Cartridge(0, 1),
       kProbed,
       Next::Run,
       kGbBackup,
       {},
       {},
       "",
       kCart,
       false},
      {"restore cartridge, RAM code 3",
       Command::UploadRam,
       WriterType::GbPassword,
       Cartridge(0, 3),
       kProbed,
       Next::Run,
       kGbRestore,
       {},
       {},
       "",
       kCart,
       false},
      {"backup cartridge, RAM code 0",
       Command::DownloadRam,
       WriterType::Gb,
       Cartridge(0, 0),
       kProbed,
       Next::Nothing,
       kGbBackup,
       {},
       {},
       "no save memory (RAM size code 0x00)",
       kCart,
       false},
      {"restore cartridge, RAM code 4",
       Command::UploadRam,
       WriterType::Gb,
       Cartridge(0, 4),
       kProbed,
       Next::Nothing,
       kGbRestore,
       {},
       {},
       "no save memory (RAM size code 0x04)",
       kCart,
       false},
      {"backup flash card, GB",
       Command::DownloadRam,
       WriterType::Gb,
       FlashCard(kTwo),
       kProbed,
       Next::Pick,
       kGbBackup,
       kTwo,
       {},
       "",
       kFlash,
       false},
      {"restore flash card, GB+Password",
       Command::UploadRam,
       WriterType::GbPassword,
       FlashCard(kTwo),
       kProbed,
       Next::Pick,
       kGbRestore,
       {"ALPHA", "BRAVO", "Password"},
       2,
       "",
       kFlash,
       false},
      {"backup empty flash card, GB+Password",
       Command::DownloadRam,
       WriterType::GbPassword,
       FlashCard({}),
       kProbed,
       Next::Pick,
       kGbBackup,
       {"Password"},
       0,
       "",
       kFlash,
       false},
      {"backup, chips not recognised",
       Command::DownloadRam,
       WriterType::Gb,
       NoAnswer(),
       kProbed,
       Next::Nothing,
       kGbBackup,
       {},
       {},
       "there is no card with save memory",
       kNoCard,
       false},
      {"restore, writer silent",
       Command::UploadRam,
       WriterType::GbPassword,
       NoAnswer(),
       detect::ProbeOutcome::DeviceError,
       Next::Nothing,
       kGbRestore,
       {},
       {},
       "Linking Fail",
       kNoCard,
       false},
      {"backup WS",
       Command::DownloadRam,
       WriterType::Ws,
       NoAnswer(),
       kNotProbed,
       Next::Run,
       kWsBackup,
       {},
       {},
       "",
       kNoCard,
       false},
      {"restore WS",
       Command::UploadRam,
       WriterType::Ws,
       NoAnswer(),
       kNotProbed,
       Next::Run,
       kWsRestore,
       {},
       {},
       "",
       kNoCard,
       false},
      // "Earse Card"
      {"erase flash card",
       Command::EraseCard,
       WriterType::Gb,
       FlashCard(kTwo),
       kProbed,
       Next::Pick,
       kGbErase,
       kSizes,
       {},
       "",
       kFlash,
       true},
      {"erase empty flash card, GB+Password",
       Command::EraseCard,
       WriterType::GbPassword,
       FlashCard({}),
       kProbed,
       Next::Pick,
       kGbErase,
       kSizes,
       {},
       "",
       kFlash,
       true},
      {"erase cartridge",
       Command::EraseCard,
       WriterType::Gb,
       Cartridge(0, 2),
       kProbed,
       Next::Nothing,
       kGbErase,
       {},
       {},
       "the writer holds an ordinary cartridge, or is empty",
       kCart,
       false},
      {"erase, chips not recognised",
       Command::EraseCard,
       WriterType::GbPassword,
       NoAnswer(),
       kProbed,
       Next::Nothing,
       kGbErase,
       {},
       {},
       "there is no flash card to erase",
       kNoCard,
       false},
      {"erase WS",
       Command::EraseCard,
       WriterType::Ws,
       NoAnswer(),
       kNotProbed,
       Next::Run,
       kWsErase,
       {},
       {},
       "",
       kNoCard,
       true},
      // A writer type outside the box: nothing at all.
      {"read, writer type 3",
       Command::DownloadCard,
       kUnknownType,
       FlashCard(kTwo),
       kNotProbed,
       Next::Nothing,
       kGbWrite,
       {},
       {},
       "no writer type",
       kNoCard,
       false},
      {"backup, writer type -1",
       Command::DownloadRam,
       kNegativeType,
       Cartridge(0, 2),
       kNotProbed,
       Next::Nothing,
       kGbWrite,
       {},
       {},
       "no writer type",
       kNoCard,
       false},
      {"erase, writer type 3",
       Command::EraseCard,
       kUnknownType,
       FlashCard(kTwo),
       kNotProbed,
       Next::Nothing,
       kGbWrite,
       {},
       {},
       "no writer type",
       kNoCard,
       false},
  };
  for (const PlanCase& c : cases) {
    SCOPED_TRACE(c.name);
    const CommandPlan plan = cards::PlanCommand(c.command, StateWith(c.type, c.card), c.probe);
    ASSERT_EQ(plan.next, c.next);
    EXPECT_EQ(plan.card, c.found);
    EXPECT_FALSE(plan.asksPatch);
    // Only an erase that will run asks first (the GB one after its card size).
    EXPECT_EQ(plan.asksErase, c.command == Command::EraseCard && c.next != Next::Nothing);
    if (c.next == Next::Nothing) {
      EXPECT_NE(plan.reason.find(c.reason), std::string::npos) << plan.reason;
      continue;
    }
    ExpectCall(plan.call, c.operation);
    EXPECT_EQ(plan.probeAfter, c.probeAfter);
    EXPECT_EQ(plan.items, c.items);
    EXPECT_EQ(plan.passwordItem, c.passwordItem);
    const int images =
        c.command == Command::EraseCard ? 0 : static_cast<int>(c.items.size()) - (c.passwordItem ? 1 : 0);
    EXPECT_EQ(plan.imageItems, c.next == Next::Pick ? images : 0);
  }
}

TEST(PlanCommand, ImageTitles_AreTheBytesTheCardStores) {
  const std::string big5 = "\xA4\xA4\xA4\xE5";
  const CommandPlan plan =
      cards::PlanCommand(Command::DownloadCard, StateWith(WriterType::Gb, FlashCard({big5, "B"})), kProbed);
  ASSERT_EQ(plan.next, Next::Pick);
  EXPECT_EQ(plan.items, (std::vector<std::string>{big5, "B"}));
}

TEST(ProbesFirst, GbReadingSaveMemoryAndErasing_Only) {
  struct Case {
    Command command;
    WriterType type;
    bool probes;
  };
  const Case cases[] = {
      {Command::StartWriting, WriterType::Gb, false},
      {Command::StartWriting, WriterType::GbPassword, false},
      {Command::StartWriting, WriterType::Ws, false},
      {Command::DownloadCard, WriterType::Gb, true},
      {Command::DownloadCard, WriterType::GbPassword, true},
      {Command::DownloadCard, WriterType::Ws, false},
      {Command::DownloadRam, WriterType::Gb, true},
      {Command::DownloadRam, WriterType::Ws, false},
      {Command::UploadRam, WriterType::GbPassword, true},
      {Command::UploadRam, WriterType::Ws, false},
      {Command::EraseCard, WriterType::Gb, true},
      {Command::EraseCard, WriterType::GbPassword, true},
      {Command::EraseCard, WriterType::Ws, false},
      {Command::EraseCard, kUnknownType, false},
      {Command::DownloadCard, kNegativeType, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "command " << static_cast<int>(c.command) << ", writer type "
                                    << static_cast<int>(c.type));
    EXPECT_EQ(cards::ProbesFirst(c.command, c.type), c.probes);
  }
}

TEST(PlanStartWriting, WsSaveType_AsksThePatchQuestionForEepromOnly) {
  struct Case {
    int saveType;
    bool asks;
  };
  for (const Case c : {Case{0x10, true}, Case{0x20, true}, Case{0x01, false}, Case{0x00, false}, Case{0x02, false}}) {
    SCOPED_TRACE(testing::Message() << "save type " << c.saveType);
    library::testing::TempDir folder;
    library::testing::WriteWsImage(folder.path() / "game.ws", 0x80000, c.saveType);
    ProgramState state;
    state.setWriterType(WriterType::Ws);
    ASSERT_TRUE(state.cardList.AddWsImage(folder.path(), "game.ws").added);
    const CommandPlan plan = cards::PlanCommand(Command::StartWriting, state, kNotProbed);
    ASSERT_EQ(plan.next, Next::Run);
    ExpectCall(plan.call, kWsWrite);
    EXPECT_EQ(plan.asksPatch, c.asks);
    EXPECT_TRUE(plan.call.args.patchFile.empty());
    EXPECT_TRUE(plan.probeAfter);
  }
}

TEST(PlanStartWriting, CardListAndWriterType_RunOrNothing) {
  library::testing::TempDir folder;
  library::testing::WriteGbImage(folder.path() / "plain.gb", library::testing::GbHeader{});
  for (const WriterType type : {WriterType::Gb, WriterType::GbPassword}) {
    SCOPED_TRACE(testing::Message() << "writer type " << static_cast<int>(type));
    ProgramState state;
    state.setWriterType(type);
    EXPECT_EQ(cards::PlanCommand(Command::StartWriting, state, kNotProbed).next, Next::Nothing);  // empty card list
    ASSERT_TRUE(state.cardList.AddGbImage(folder.path(), "plain.gb", type).added);
    const CommandPlan plan = cards::PlanCommand(Command::StartWriting, state, kNotProbed);
    ASSERT_EQ(plan.next, Next::Run);
    ExpectCall(plan.call, kGbWrite);
    EXPECT_FALSE(plan.asksPatch);
    EXPECT_TRUE(plan.probeAfter);
    state.setWriterType(kUnknownType);
    EXPECT_EQ(cards::PlanCommand(Command::StartWriting, state, kNotProbed).next, Next::Nothing);
  }
  ProgramState ws;
  ws.setWriterType(WriterType::Ws);
  EXPECT_EQ(cards::PlanCommand(Command::StartWriting, ws, kNotProbed).next, Next::Nothing);
}

TEST(Picked, Row_BecomesTheImageOrTheCardSize) {
  struct Case {
    const char* name;
    Command command;
    WriterType type;
    int row;
    Call operation;
    int image;
    int cardSize;
  };
  const Case cases[] = {
      {"read, second image", Command::DownloadCard, WriterType::Gb, 1, kGbRead, 1, 0},
      {"backup, first image", Command::DownloadRam, WriterType::GbPassword, 0, kGbBackup, 0, 0},
      {"restore, Password", Command::UploadRam, WriterType::GbPassword, 2, kGbRestore, 2, 0},
      {"erase, 16MB Card", Command::EraseCard, WriterType::Gb, 0, kGbErase, 0, 0},
      {"erase, 32MB Card", Command::EraseCard, WriterType::GbPassword, 1, kGbErase, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CommandPlan plan = Picked(cards::PlanCommand(c.command, StateWith(c.type, FlashCard(kTwo)), kProbed), c.row);
    ASSERT_EQ(plan.next, Next::Run);
    ExpectCall(plan.call, c.operation);
    EXPECT_EQ(plan.call.args.image, c.image);
    EXPECT_EQ(plan.call.args.cardSize, c.cardSize);
    EXPECT_EQ(plan.probeAfter, c.command == Command::EraseCard);
    EXPECT_EQ(plan.asksErase, c.command == Command::EraseCard);
  }
}

TEST(Picked, RowOutsideTheItemsOrNoQuestion_Nothing) {
  const CommandPlan pick =
      cards::PlanCommand(Command::DownloadRam, StateWith(WriterType::Gb, FlashCard(kTwo)), kProbed);
  ASSERT_EQ(pick.next, Next::Pick);
  EXPECT_EQ(Picked(pick, -1).next, Next::Nothing);
  EXPECT_EQ(Picked(pick, 2).next, Next::Nothing);  // no "Password" row with the writer type "GB"
  const CommandPlan empty =
      cards::PlanCommand(Command::DownloadCard, StateWith(WriterType::Gb, FlashCard({})), kProbed);
  EXPECT_EQ(Picked(empty, 0).next, Next::Nothing);
  // The reason says why: nothing picked, or nothing to pick from.
  EXPECT_EQ(Picked(pick, -1).reason, "nothing was picked");
  EXPECT_EQ(Picked(empty, -1).reason, kNoImages);
  EXPECT_EQ(Picked(empty, 0).reason, kNoImages);
  const CommandPlan run =
      cards::PlanCommand(Command::DownloadCard, StateWith(WriterType::Gb, Cartridge(1, 0)), kProbed);
  ASSERT_EQ(run.next, Next::Run);
  EXPECT_EQ(Picked(run, 0).next, Next::Nothing);
}

TEST(CardSizes, ErasePicksAndEraseSize_NameTheSameCards) {
  ASSERT_EQ(gb::kCardSizes.size(), kSizes.size());
  EXPECT_EQ(gb::kCardSizes[0].megabits, 16);
  EXPECT_EQ(gb::kCardSizes[0].item, kSizes[0]);
  EXPECT_EQ(gb::kCardSizes[1].megabits, 32);
  EXPECT_EQ(gb::kCardSizes[1].item, kSizes[1]);
}

}  // namespace
}  // namespace quillon::ops
