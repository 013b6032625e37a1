// SPDX-License-Identifier: GPL-3.0-or-later
// The writer's command set as the program uses it: the device-control sub-commands, the
// block write opcodes, the card addresses and the values written there, the WS bank
// registers and window modes, and the status values the answers are read against.
//
// This is the one place these numbers stand on the host side; the GB and WS operations and
// the card probe use only the names. The simulated writer keeps its own numbers on purpose:
// it stands for the device, so a wrong number here fails against it instead of agreeing with
// it.
#pragma once

#include <array>
#include <cstdint>

#include "link/link.h"

namespace quillon::link::protocol {

// --- device-control command (opcode 6): SetControl(function, p1, p2, p3) ------------------

inline constexpr std::uint8_t kControlOpcode = 6;

// One device-control command: the function (its first parameter) and three parameters.
struct Control {
  std::uint8_t function;
  std::uint8_t p1;
  std::uint8_t p2;
  std::uint8_t p3;
};

// Functions (the first parameter) that take further parameters.
inline constexpr std::uint8_t kBankRegister = 0;  // (0, register, value, 0): GB ROM bank, WS bank registers
inline constexpr std::uint8_t kCardCommand = 2;   // (2, command, p, q): the card commands below

// GB card commands, (2, command, 0, 0) unless said otherwise.
// The state in which the card is read; sent before card access and after chip
// identification.
inline constexpr Control kReadState{kCardCommand, 15, 0, 0};
// The flash chips' programming voltage on and off.
inline constexpr Control kVoltageOn{kCardCommand, 9, 0, 0};
inline constexpr Control kVoltageOff{kCardCommand, 10, 0, 0};
// Identification of a chip that answers after an unlock sequence the writer runs: the
// three-cycle unlock, or the six-cycle software identification entry; both are left with
// kLeaveIdentification.
inline constexpr Control kIdentifyAfterUnlock{kCardCommand, 3, 0, 0};
inline constexpr Control kIdentifyAfterLongUnlock{kCardCommand, 4, 0, 0};
inline constexpr Control kLeaveIdentification{kCardCommand, 5, 0, 0};
// BIOS ROM chip erase of a chip answered by its status byte (ChipMethod::ChipStatus).
inline constexpr Control kBiosChipErase{kCardCommand, 14, 0, 0};
// BIOS ROM chip erase run by the writer through bank 0 (ChipMethod::ChipStatusWithVoltage).
inline constexpr Control kBiosChipEraseByWriter{kCardCommand, 6, 0, 0};

// Erase of the 64 KiB FLASH ROM block that starts at bank `firstBank`: finished when the
// chip's status byte in the bank window says so, or when the writer's status does.
constexpr Control BlockEraseByStatusByte(std::uint8_t firstBank) { return {kCardCommand, 11, firstBank, 0}; }
constexpr Control BlockEraseByWriterStatus(std::uint8_t firstBank) { return {kCardCommand, 7, firstBank, 0}; }

// WS card commands.
// Latches the card's identification for kWsIdentityAnswer.
inline constexpr Control kWsIdentificationLatch{kCardCommand, 17, 36, 0};
// Opens and closes the size query (around reading the size byte in kWsModeReadHigh).
inline constexpr Control kWsSizeQueryOpen{kCardCommand, 14, 0, 0};
inline constexpr Control kWsSizeQueryClose{kCardCommand, 15, 0, 0};
// End of writing or erasing the card.
inline constexpr Control kWsEndOfWriting{kCardCommand, 0x15, 0, 0};
// Erases the sector holding window address `addressHigh` * 256 in window mode `mode` of the
// erase-and-write bank; the writer's status tells the outcome.
constexpr Control WsSectorErase(std::uint8_t mode, std::uint8_t addressHigh) {
  return {kCardCommand, 0x12, mode, addressHigh};
}
// Sets WS bank register `reg` to `bank`.
constexpr Control WsBankRegister(std::uint8_t reg, std::uint8_t bank) { return {kBankRegister, reg, bank, 0}; }
// Opens the WS save memory for reading and writing.
inline constexpr Control kWsSaveMemoryOpen{9, 0, 0, 0};
// Answering functions: the caller sends the header (SendHeader) and collects the answer, the
// WS card's two identification bytes or its size code, each followed by a check byte.
inline constexpr Control kWsIdentityAnswer{5, 0, 0, 0};
inline constexpr Control kWsSizeAnswer{7, 0, 0, 0};

inline void Send(Link& link, const Control& c) { link.SetControl(c.function, c.p1, c.p2, c.p3); }

// Sends only the frame of an answering device-control command; the caller collects the
// answer. False when a stop request kept it from being sent.
inline bool SendHeader(Link& link, const Control& c) {
  return link.SendHeader(kControlOpcode, c.function, c.p1, c.p2, c.p3, "SetControl");
}

// The byte that asks for an answer after a header.
inline constexpr std::uint8_t kAnswerPrompt = 0x00;

// --- block write opcodes: WriteBlock(op, address, data) ------------------------------------

// A plain write into the card's address space: the save memory (GB at kSaveWindow, WS in
// kWsModeSave).
inline constexpr std::uint8_t kOpWriteMemory = 0;
// GB: program one 16 KiB FLASH ROM bank, finished as the chip's status byte says
// (ChipMethod::ChipStatus and ChipStatusWithVoltage).
inline constexpr std::uint8_t kOpProgramBankByStatusByte = 10;
// GB: the writer programs one 16 KiB bank itself and reports in its status: a FLASH ROM
// bank (ChipMethod::WriterStatus), a BIOS ROM bank (ChipMethod::ChipStatusWithVoltage).
inline constexpr std::uint8_t kOpProgramBankByWriter = 7;
// GB: program one 128-byte piece of the BIOS ROM with the programming voltage on
// (ChipMethod::ChipStatus).
inline constexpr std::uint8_t kOpProgramBiosPiece = 11;
// GB: write one 128-byte page of a BIOS ROM without an erase command
// (ChipMethod::WriterStatus); the page comes out as written, erased where not loaded.
inline constexpr std::uint8_t kOpProgramBiosPage = 8;
// WS: load the writer's 32 KiB block buffer, then program it into the block the window
// mode selects.
inline constexpr std::uint8_t kOpWsLoadBlock = 16;
inline constexpr std::uint8_t kOpWsProgramBlock = 7;
// WS: write the save memory again, the writer checking what it stored.
inline constexpr std::uint8_t kOpWsWriteSaveChecked = 19;

// --- GB card addresses and the values written there ---------------------------------------

// One byte written into the card's address space.
struct CardByte {
  std::uint16_t address;
  std::uint8_t value;
};

inline void Send(Link& link, const CardByte& b) { link.WriteByte(b.address, b.value); }

// Bank 0, fixed at 0x0000-0x3FFF: the cartridge's first bank, the flash card's menu image.
inline constexpr std::uint16_t kFixedBank = 0x0000;
// The switchable bank window 0x4000-0x7FFF (SetBank chooses the bank); commands written
// here go to the presented flash chip.
inline constexpr std::uint16_t kBankWindow = 0x4000;
// The save memory window 0xA000-0xBFFF.
inline constexpr std::uint16_t kSaveWindow = 0xA000;
// Written with the bank number: the save memory bank shown in kSaveWindow.
inline constexpr std::uint16_t kSaveBankRegister = 0x4000;

// Flash card: the chip presented in the bank window; presenting the FLASH ROM also enables
// the save memory. Ordinary cartridge: its save memory enable (kSaveMemoryOn, on a flash
// card the same write as kPresentFlashRom).
inline constexpr std::uint16_t kChipSelect = 0x0000;
inline constexpr std::uint8_t kSelectBiosRom = 0x00;
inline constexpr std::uint8_t kSelectFlashRom = 0x0A;
inline constexpr CardByte kPresentBiosRom{kChipSelect, kSelectBiosRom};
inline constexpr CardByte kPresentFlashRom{kChipSelect, kSelectFlashRom};
inline constexpr CardByte kSaveMemoryOn{kChipSelect, 0x0A};
inline constexpr CardByte kSaveMemoryOff{kChipSelect, 0x00};

// Register pattern mode: a writer flash card then answers kFlashCardPattern all over its
// save memory window (after kReadState).
inline constexpr CardByte kRegisterPatternMode{0xC080, 0x01};
inline constexpr std::uint8_t kFlashCardPattern = 0xFE;
// Enables programming of the flash card's chips.
inline constexpr CardByte kProgrammingEnable{0xA000, 0x80};
// Shows the flash card's save memory in kSaveWindow.
inline constexpr CardByte kSaveMemoryWindow{0x1000, 0x0C};
// An MBC1 cartridge's banking mode: RAM banking switches its save memory banks.
inline constexpr CardByte kMbc1RamBankingMode{0x6000, 0x01};
inline constexpr CardByte kMbc1RomBankingMode{0x6000, 0x00};

// Flash chip commands written into the bank window: read the identifier, back to reading
// the array (and out of status mode), and leave the identification that was entered with
// the programming voltage on.
inline constexpr CardByte kChipReadIdentifier{kBankWindow, 0x90};
inline constexpr CardByte kChipReadArray{kBankWindow, 0xFF};
inline constexpr CardByte kChipLeaveIdentifier{kBankWindow, 0x00};

// --- status values ------------------------------------------------------------------------

// QueryState3 / QueryState6: the last command is finished and went well.
inline constexpr int kStateDone = 0;
// The chip's status byte, read in the bank window, once a block erase is finished.
inline constexpr std::uint8_t kBlockEraseDone = 0x80;
// Erased flash.
inline constexpr std::uint8_t kErasedByte = 0xFF;

// --- WS card ------------------------------------------------------------------------------

// The answer of the writer's WS flash card to the identification (second byte * 256 + first).
inline constexpr std::int32_t kWsFlashCardId = 0x2382;

// Link address of the 32 KiB window that the window mode fills.
inline constexpr std::uint16_t kWsWindow = 0x8000;

// Bank registers.
inline constexpr std::uint8_t kWsSaveBankRegister = 0xC1;
inline constexpr std::uint8_t kWsWriteBankRegister = 0xC2;  // erasing and writing
inline constexpr std::uint8_t kWsReadBankRegister = 0xC3;

// Window modes (SetMode): the save memory, the lower and upper 32 KiB of the
// erase-and-write bank and of the read bank.
inline constexpr std::uint8_t kWsModeSave = 0x22;
inline constexpr std::uint8_t kWsModeWriteLow = 0x24;
inline constexpr std::uint8_t kWsModeWriteHigh = 0x25;
inline constexpr std::uint8_t kWsModeReadLow = 0x26;
inline constexpr std::uint8_t kWsModeReadHigh = 0x27;

// High bytes of window addresses for WsSectorErase: the sector at the window's start, and
// the three smaller sectors of the upper 32 KiB of the last bank of each 2 MiB half.
inline constexpr std::uint8_t kWsSectorAtWindow = 0x80;
inline constexpr std::array<std::uint8_t, 3> kWsTopSectors = {0x80, 0xA0, 0xC0};

// The byte of the image's last 32 KiB block that carries the card's size code, and the link
// address it is read at in kWsModeReadHigh.
inline constexpr std::uint16_t kWsSizeByteOffset = 0x7FFC;
inline constexpr auto kWsSizeByteAddress = static_cast<std::uint16_t>(kWsWindow + kWsSizeByteOffset);

}  // namespace quillon::link::protocol
