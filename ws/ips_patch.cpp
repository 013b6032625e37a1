// SPDX-License-Identifier: GPL-3.0-or-later
// IPS patches: "PATCH", records of a 3-byte offset and a 2-byte length (big-endian) with
// their data, optionally "EOF" as the last three bytes. A record of length 0 is a
// run-length record: a 2-byte count and the one value to repeat.
#include <algorithm>

#include "ws/ws_operations.h"

namespace quillon::ws {

namespace {

constexpr std::size_t kHeaderSize = 5;
constexpr std::size_t kRecordHeaderSize = 5;
constexpr std::size_t kRunSize = 3;  // count and value of a run-length record
constexpr std::size_t kMarkerSize = 3;

std::size_t BigEndian(std::span<const std::uint8_t> bytes) {
  std::size_t value = 0;
  for (const std::uint8_t b : bytes) value = value << 8 | b;
  return value;
}

struct Record {
  std::size_t offset = 0;
  std::size_t count = 0;               // bytes of the image the record changes
  std::span<const std::uint8_t> data;  // its bytes; one byte for a run
  bool run = false;
  std::size_t size = 0;  // bytes of the patch it takes
};

enum class Item { Record, End, Malformed };

// The item at `p` (p < patch.size()) of a patch for an image of `imageSize` bytes.
Item ReadItem(std::span<const std::uint8_t> patch, std::size_t p, std::size_t imageSize, Record& record) {
  const std::size_t left = patch.size() - p;
  if (left < kMarkerSize) return Item::Malformed;
  if (left == kMarkerSize) {
    const std::span<const std::uint8_t> marker = patch.subspan(p);
    return std::equal(marker.begin(), marker.end(), "EOF") ? Item::End : Item::Malformed;
  }
  if (left < kRecordHeaderSize) return Item::Malformed;
  record.offset = BigEndian(patch.subspan(p, 3));
  const std::size_t length = BigEndian(patch.subspan(p + 3, 2));
  const std::size_t body = p + kRecordHeaderSize;
  if (length == 0) {
    if (patch.size() - body < kRunSize) return Item::Malformed;
    record.run = true;
    record.count = BigEndian(patch.subspan(body, 2));
    record.data = patch.subspan(body + 2, 1);
    record.size = kRecordHeaderSize + kRunSize;
  } else {
    if (patch.size() - body < length) return Item::Malformed;
    record.run = false;
    record.count = length;
    record.data = patch.subspan(body, length);
    record.size = kRecordHeaderSize + length;
  }
  if (record.offset + record.count > imageSize) return Item::Malformed;
  return Item::Record;
}

}  // namespace

int ApplyIpsPatch(std::span<std::uint8_t> image, std::span<const std::uint8_t> patch) {
  if (patch.empty()) return 0;
  const std::span<const std::uint8_t> header = patch.first(std::min(patch.size(), kHeaderSize));
  if (header.size() < kHeaderSize || !std::equal(header.begin(), header.end(), "PATCH")) return 1;

  // First the whole patch is checked, so that a rejected one changes nothing.
  Record record;
  for (std::size_t p = kHeaderSize; p < patch.size(); p += record.size) {
    const Item item = ReadItem(patch, p, image.size(), record);
    if (item == Item::Malformed) return 1;
    if (item == Item::End) break;
  }
  for (std::size_t p = kHeaderSize; p < patch.size(); p += record.size) {
    if (ReadItem(patch, p, image.size(), record) != Item::Record) break;
    const auto at = image.begin() + static_cast<std::ptrdiff_t>(record.offset);
    if (record.run) {
      std::fill_n(at, record.count, record.data.front());
    } else {
      std::copy(record.data.begin(), record.data.end(), at);
    }
  }
  return 0;
}

}  // namespace quillon::ws
