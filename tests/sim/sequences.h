// SPDX-License-Identifier: GPL-3.0-or-later
// The program's device-side command sequences (card preparation, erases, programming, the
// WS probe and size query), written out for the tests so that every command the program
// sends is tried against the simulated writer in the order the program sends it.
#pragma once

#include <algorithm>
#include <array>
#include <optional>

#include "detect/chips.h"
#include "host.h"

namespace quillon::simtest {

using detect::ChipMethod;

// The method of the chip with these ID bytes, by the program's chip table.
inline ChipMethod methodOf(const std::array<std::uint8_t, 3>& id) {
  return detect::kChipTable.at(static_cast<std::size_t>(detect::FindChip(id))).method;
}

inline Bytes filled(std::size_t size, std::uint8_t value) { return Bytes(size, value); }

// Card preparation before erasing or writing the FLASH ROM (FLASH ROM presented after it).
inline void prepareFlashCard(Host& h, ChipMethod flashMethod) {
  h.writeByte(0xC080, 1);
  h.writeByte(0x0000, 0x00);
  h.writeByte(0xA000, 0x80);
  h.writeByte(0x0000, 0x0A);
  if (flashMethod == ChipMethod::ChipStatusWithVoltage) h.setControl(2, 9, 0, 0);
}

// Erases one 64 KiB block of the presented FLASH ROM and waits for it; true when reported
// erased within `maxPolls`.
inline bool eraseFlashBlock(Host& h, ChipMethod method, int block, int maxPolls = 18000) {
  const auto firstBank = static_cast<std::uint8_t>(4 * block);
  if (method == ChipMethod::WriterStatus) {
    h.setControl(2, 7, firstBank, 0);
    for (int poll = 0; poll < maxPolls; ++poll) {
      if (h.queryState3() == 0) return true;
    }
    return false;
  }
  h.setControl(2, 11, firstBank, 0);
  for (int poll = 0; poll < maxPolls; ++poll) {
    if (h.readByte(0x4000) == 0x80) {
      h.writeByte(0x4000, 0xFF);
      return true;
    }
  }
  return false;
}

// Programs one 16 KiB bank of the presented FLASH ROM; true when the status answered 0.
inline bool programFlashBank(Host& h, ChipMethod method, int bank, std::span<const std::uint8_t> data) {
  h.setBank(static_cast<std::uint8_t>(bank));
  h.writeBlock(method == ChipMethod::WriterStatus ? 7 : 10, 0x4000, data);
  return h.queryState3() == 0;
}

// Polls QueryState3 until it answers 0; false when the 500th poll is reached first.
inline bool pollDone(Host& h, int limit = 500) {
  for (int poll = 1; poll < limit; ++poll) {
    if (h.queryState3() == 0) return true;
  }
  return false;
}

// Erases the BIOS ROM (presented) by its method, as the card writing and erasing do: the
// chip is given DelayTicks(10000) after it was presented.
inline bool eraseBios(Host& h, ChipMethod method) {
  h.port().delayTicks(10000);
  switch (method) {
    case ChipMethod::ChipStatus:
      h.setControl(2, 14, 0, 0);
      h.port().delayTicks(65535);
      for (int round = 0; round < 3000; ++round) {
        h.port().delayTicks(1000);
        if (h.queryState3() == 0) break;
      }
      return h.queryState3() == 0;
    case ChipMethod::ChipStatusWithVoltage:
      h.setBank(0);
      h.setControl(2, 6, 0, 0);
      for (int poll = 0; poll < 18000; ++poll) {
        if (h.queryState3() != 0) continue;
        h.setBank(0);
        const Answer bank = h.readBlock(0x4000, 0x4000);
        if (bank.checkOk() && std::all_of(bank.bytes.begin(), bank.bytes.end(), [](auto b) { return b == 0xFF; }))
          return true;
      }
      return false;
    case ChipMethod::WriterStatus: {
      const Bytes pattern = filled(0x80, 0xFF);
      for (int piece = 0; piece < 1024; ++piece) {
        if (piece % 128 == 0) h.setBank(static_cast<std::uint8_t>(piece / 128));
        const auto address = static_cast<std::uint16_t>(0x4000 + 0x80 * (piece % 128));
        bool done = false;
        for (int attempt = 0; attempt < 10 && !done; ++attempt) {
          h.writeBlock(8, address, pattern);
          if (!pollDone(h)) return false;
          const Answer back = h.readBlock(address, 0x80);
          if (!pollDone(h)) return false;
          done = back.bytes == pattern;
        }
        if (!done) return false;
      }
      return true;
    }
  }
  return false;
}

// Programs a menu image (16 or 32 KiB) into the presented BIOS ROM by its method, after
// DelayTicks(10000) for the chip to settle from being presented or erased.
inline bool programBios(Host& h, ChipMethod method, const Bytes& image) {
  h.port().delayTicks(10000);
  const std::size_t banks = image.size() / 0x4000;
  if (method == ChipMethod::ChipStatusWithVoltage) {
    for (std::size_t i = 0; i < banks; ++i) {
      h.setBank(static_cast<std::uint8_t>(i));
      const std::span<const std::uint8_t> bank(image.data() + i * 0x4000, 0x4000);
      bool done = false;
      for (int attempt = 1; attempt < 125 && !done; ++attempt) {
        h.writeBlock(7, 0x4000, bank);
        done = h.queryState3() == 0;
      }
      if (!done) return false;
    }
    return true;
  }
  for (std::size_t piece = 0; piece < 128 * banks; ++piece) {
    if (piece % 128 == 0) h.setBank(static_cast<std::uint8_t>(piece / 128));
    const auto address = static_cast<std::uint16_t>(0x4000 + 0x80 * (piece % 128));
    const std::span<const std::uint8_t> data(image.data() + piece * 0x80, 0x80);
    bool done = false;
    for (int attempt = 0; attempt < 10 && !done; ++attempt) {
      h.writeBlock(method == ChipMethod::ChipStatus ? 11 : 8, address, data);
      if (!pollDone(h)) return false;
      if (method == ChipMethod::ChipStatus) {
        done = true;
      } else {
        const Answer back = h.readBlock(address, 0x80);
        if (!pollDone(h)) return false;
        done = std::equal(back.bytes.begin(), back.bytes.end(), data.begin(), data.end());
      }
    }
    if (!done) return false;
  }
  return true;
}

// The identification attempts of the card probe for one chip: the eight bytes each of the
// four attempts read at 0x4000, in the probe's order.
inline std::array<Bytes, 4> identificationReads(Host& h, std::uint8_t chipSelect) {
  std::array<Bytes, 4> reads;
  const auto preamble = [&] {
    h.setControl(2, 15, 0, 0);
    h.writeByte(0xA000, 0x80);
    h.writeByte(0x0000, chipSelect);
    h.setBank(0);
  };
  preamble();
  h.writeByte(0x4000, 0x90);
  reads[0] = h.readBlock(0x4000, 8).bytes;
  h.writeByte(0x4000, 0xFF);
  for (std::uint8_t way : {std::uint8_t{3}, std::uint8_t{4}}) {
    preamble();
    h.setControl(2, way, 0, 0);
    reads[way - 2u] = h.readBlock(0x4000, 8).bytes;
    h.setControl(2, 5, 0, 0);
  }
  preamble();
  h.setControl(2, 9, 0, 0);
  h.writeByte(0x4000, 0x90);
  reads[3] = h.readBlock(0x4000, 8).bytes;
  h.writeByte(0x4000, 0x00);
  h.setControl(2, 10, 0, 0);
  return reads;
}

// The WS identification exchange of the probe: bytes a, b and the check byte.
inline Bytes wsIdentify(Host& h) {
  h.setControl(2, 17, 36, 0);
  h.sendClock();
  h.sendClock();
  h.header(6, 5, 0, 0, 0);
  h.sendClock();
  Bytes got;
  for (int i = 0; i < 3; ++i) got.push_back(h.receiveByte().value_or(0));
  return got;
}

// The WS size query: code and check byte.
inline Bytes wsSizeQuery(Host& h) {
  h.setControl(2, 14, 0, 0);
  h.setMode(0x27);
  (void)h.readByte(0xFFFC);
  h.setControl(2, 15, 0, 0);
  h.sendClock();
  h.sendClock();
  h.header(6, 7, 0, 0, 0);
  h.sendByte(0x00);
  Bytes got;
  for (int i = 0; i < 2; ++i) got.push_back(h.receiveByte().value_or(0));
  return got;
}

// Erases the sector at the start of WS bank `bank` (and the boot sectors when `bootSectors`)
// as card writing and erasing do; returns the status answers that followed.
inline int wsEraseBank(Host& h, int bank) {
  h.setControl(0, 0xC2, static_cast<std::uint8_t>(bank), 0);
  h.setMode(0x24);
  h.setControl(2, 0x12, 0x24, 0x80);
  h.sendClock();
  h.sendClock();
  return h.queryState6();
}
inline int wsEraseBootSectors(Host& h, int bank) {
  h.setControl(0, 0xC2, static_cast<std::uint8_t>(bank), 0);
  h.setMode(0x25);
  for (std::uint8_t at : {std::uint8_t{0x80}, std::uint8_t{0xA0}, std::uint8_t{0xC0}}) {
    h.setControl(2, 0x12, 0x25, at);
    h.sendClock();
    h.sendClock();
  }
  return h.queryState6();
}

// Loads and programs one 32 KiB block into block `block` (0..127) of the card.
inline int wsProgramBlock(Host& h, int block, std::span<const std::uint8_t> data) {
  h.setControl(0, 0xC2, static_cast<std::uint8_t>(block >> 1), 0);
  h.setMode(static_cast<std::uint8_t>(0x24 + (block & 1)));
  h.writeBlock(16, 0x8000, data);
  h.writeBlock(7, 0x8000, data);
  return h.queryState6();
}

// Selects the WS save memory as the save operations do.
inline void wsSelectSave(Host& h) {
  h.setControl(9, 0, 0, 0);
  h.setControl(0, 0xC1, 0, 0);
  h.setMode(0x22);
}

// The size code that card writing ORs into byte 0x7FFC of the last block, by image size.
inline std::uint8_t wsSizeCode(std::size_t imageSize) {
  switch (imageSize) {
    case 0x400000:
      return 0x00;
    case 0x200000:
      return 0x10;
    case 0x100000:
      return 0x20;
    default:
      return 0x30;
  }
}

// The erase commands and status checks card writing and erasing send for block `block`
// (bank register 0xC2 already set); false at a nonzero status.
inline bool wsEraseBeforeBlock(Host& h, int block) {
  if (block % 2 == 0) {
    h.setMode(0x24);
    h.setControl(2, 0x12, 0x24, 0x80);
    h.sendClock();
    h.sendClock();
  }
  if (h.queryState6() != 0) return false;
  if ((block & 0x3F) != 0x3F) return true;
  h.setMode(0x25);
  for (std::uint8_t at : {std::uint8_t{0x80}, std::uint8_t{0xA0}, std::uint8_t{0xC0}}) {
    h.setControl(2, 0x12, 0x25, at);
    h.sendClock();
    h.sendClock();
  }
  return h.queryState6() == 0;
}

// Clears the save memory as card writing and erasing do; true when the status answered 0.
inline bool wsClearSave(Host& h) {
  const Bytes zeros(0x8000, 0x00);
  wsSelectSave(h);
  h.writeBlock(0, 0x8000, zeros);
  h.writeBlock(19, 0x8000, zeros);
  return h.queryState6() == 0;
}

// The WS probe's identification as the operations start with it; true for a writable card.
inline bool wsProbe(Host& h) { return h.checkDevice() && wsIdentify(h) == Bytes{0x82, 0x23, 0x81 ^ 0x82 ^ 0x23}; }

// Card writing of an image of 512 KiB, 1, 2 or 4 MiB as the program sends it: probe, the
// blocks at the top of the card with their erases, each sent twice, the size code in the last
// one, the save memory cleared, the closing controls. False at the first failure.
inline bool wsWriteCard(Host& h, const Bytes& image) {
  if (!wsProbe(h)) return false;
  const int blocks = static_cast<int>(image.size() / 0x8000);
  for (int b = 128 - blocks; b < 128; ++b) {
    h.setControl(0, 0xC2, static_cast<std::uint8_t>(b >> 1), 0);
    if (!wsEraseBeforeBlock(h, b)) return false;
    h.setMode(static_cast<std::uint8_t>(0x24 + (b & 1)));
    const auto at = image.begin() + static_cast<std::ptrdiff_t>(b - (128 - blocks)) * 0x8000;
    Bytes block(at, at + 0x8000);
    if (b == 127) block[0x7FFC] |= wsSizeCode(image.size());
    h.writeBlock(16, 0x8000, block);
    h.writeBlock(7, 0x8000, block);
    if (h.queryState6() != 0) return false;
  }
  if (!wsClearSave(h)) return false;
  h.setControl(0, 0xC2, 0, 0);
  h.setControl(2, 0x15, 0, 0);
  return true;
}

// Card reading as the program sends it: probe, size query, the blocks from bank 0 up through
// bank register 0xC3, the size code cleared from the last one. Nothing at a failed check.
inline std::optional<Bytes> wsReadCard(Host& h) {
  if (!wsProbe(h)) return std::nullopt;
  const Bytes size = wsSizeQuery(h);
  if (size[1] != (size[0] ^ 0x81) || size[0] > 7) return std::nullopt;
  const int blocks = size[0] == 0 ? 0 : (1 << (size[0] + 2)) / 4;
  Bytes image;
  for (int i = 0; i < blocks; ++i) {
    h.setControl(0, 0xC3, static_cast<std::uint8_t>(i >> 1), 0);
    h.setMode(static_cast<std::uint8_t>(0x26 + (i & 1)));
    const Answer a = h.readBlock(0x8000, 0x8000);
    if (!a.checkOk()) return std::nullopt;
    image.insert(image.end(), a.bytes.begin(), a.bytes.end());
  }
  if (!image.empty()) image[image.size() - 4] &= 0x07;
  return image;
}

// Card erasing as the program sends it; false at the first nonzero status.
inline bool wsEraseCard(Host& h) {
  if (!wsProbe(h)) return false;
  for (int b = 0; b < 128; ++b) {
    h.setControl(0, 0xC2, static_cast<std::uint8_t>(b >> 1), 0);
    if (!wsEraseBeforeBlock(h, b)) return false;
  }
  if (!wsClearSave(h)) return false;
  h.setControl(0, 0xC2, 0, 0);
  h.setControl(2, 0x15, 0, 0);
  return true;
}

// Save memory backup and restore as the program sends them.
inline std::optional<Bytes> wsBackupSave(Host& h) {
  if (!wsProbe(h)) return std::nullopt;
  wsSelectSave(h);
  const Answer a = h.readBlock(0x8000, 0x8000);
  if (!a.checkOk()) return std::nullopt;
  return a.bytes;
}
inline bool wsRestoreSave(Host& h, const Bytes& data) {
  if (!wsProbe(h)) return false;
  wsSelectSave(h);
  h.writeBlock(0, 0x8000, data);
  h.writeBlock(19, 0x8000, data);
  return h.queryState6() == 0;
}

}  // namespace quillon::simtest
