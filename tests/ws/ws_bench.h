// SPDX-License-Identifier: GPL-3.0-or-later
// A WS flash card in the simulated writer, with images and the readable form of a command log.
#pragma once

#include <string>
#include <vector>

#include "bench.h"
#include "sim/sim.h"
#include "ws/ws_operations.h"

namespace quillon::wstest {

using gbtest::Bytes;
using gbtest::fs::path;
using sim::CommandRecord;

// An image of `size` bytes in which every byte depends on its offset and `seed`.
inline Bytes WsImage(std::size_t size, unsigned seed) {
  Bytes image(size);
  for (std::size_t i = 0; i < size; ++i) image[i] = static_cast<std::uint8_t>((i >> 8) * 7 + i * 13 + seed);
  return image;
}

inline Bytes DataFile(const std::string& name) {
  return support::readFile(gbtest::fs::path(QUILLON_TEST_DATA) / "ips" / name);
}

struct WsBench : gbtest::Bench {
  WsBench() : Bench(sim::emptyWsFlashCard()) { state.setWriterType(library::WriterType::Ws); }

  // Puts the image into "game.ws" (behind `header` bytes of 0xEE) and into the card list.
  void Compose(const Bytes& image, std::size_t header = 0) {
    Bytes file(header, 0xEE);
    file.insert(file.end(), image.begin(), image.end());
    support::writeFile(dir / "game.ws", file);
    Bench::Compose(dir.path(), {"game.ws"});
  }
};

inline bool Erase(const CommandRecord& c) { return c.op == 6 && c.p1 == 2 && c.p2 == 0x12; }
inline bool QueryState6(const CommandRecord& c) { return c.op == 6 && c.p1 == 6 && c.p2 == 0; }

// The erase and program commands in order, with the bank register they went to:
// "E<bank>:<mode>:<address high>" and "P<bank>:<mode>"; "S" a status query.
inline std::vector<std::string> Schedule(const std::vector<CommandRecord>& log) {
  std::vector<std::string> out;
  int bank = -1, mode = -1;
  for (const auto& c : log) {
    if (c.op == 6 && c.p1 == 0 && c.p2 == 0xC2) bank = c.p3;
    if (c.op == 5) mode = c.p1;
    if (Erase(c))
      out.push_back(std::string("E") + std::to_string(bank) + ":" + std::to_string(c.p3) + ":" + std::to_string(c.p4));
    if (c.op == 7) out.push_back(std::string("P") + std::to_string(bank) + ":" + std::to_string(mode));
    if (QueryState6(c)) out.push_back("S");
  }
  return out;
}

// Each bank is erased just before its first block (from `firstBlock` on) is programmed (or,
// when not `programs`, passed); the top of each 2 MiB half gets its three small sectors
// erased before block 63 / 127; the save memory's status comes last.
inline std::vector<std::string> ExpectedSchedule(unsigned firstBlock, bool programs) {
  std::vector<std::string> out;
  for (unsigned b = firstBlock; b < 128; ++b) {
    const std::string bank = std::to_string(b >> 1);
    if (b % 2 == 0) out.push_back("E" + bank + ":36:128");
    out.push_back("S");
    if ((b & 0x3F) == 0x3F) {
      for (const char* at : {":37:128", ":37:160", ":37:192"}) out.push_back("E" + bank + at);
      out.push_back("S");
    }
    if (programs) {
      out.push_back("P" + bank + ":" + std::to_string(0x24 + (b & 1)));
      out.push_back("S");
    }
  }
  out.push_back("S");
  return out;
}

}  // namespace quillon::wstest
