// SPDX-License-Identifier: GPL-3.0-or-later
// IPS patching of an image in memory (ws::ApplyIpsPatch), fed with any patch.
//
// Input: 3 bytes (big-endian) give the image size modulo 0x20001 (so up to 128 KiB, enough
// for the 64 KiB images the kept patches were made for); the image holds a fixed pattern;
// the rest of the input is the patch.
//
// The rules the patch is held to (ws/ws_operations.h, ws/ips_patch.cpp): an empty patch is
// applied and changes nothing; otherwise it starts "PATCH", then records of a 3-byte offset
// and a 2-byte length with that many bytes, or with length 0 a 2-byte count and one byte to
// repeat; "EOF" may end it only as its last three bytes; a record that is cut off, any other
// trailing bytes, or a record reaching past the image's end rejects the whole patch. The
// image never grows.
//
// What must hold:
//  - the verdict is what a small applier written here from those rules gives, and so is
//    every byte of an accepted patch's result;
//  - a rejected patch leaves the image unchanged, byte for byte;
//  - nothing before or after the image's span is written (guard bytes);
//  - applying an accepted patch again is accepted and changes nothing more.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "fuzz_support.h"
#include "ws/ws_operations.h"

namespace {

constexpr std::size_t kGuard = 64;
constexpr std::uint8_t kGuardByte = 0xA5;

struct RefRecord {
  std::size_t offset;
  std::size_t count;
  std::span<const std::uint8_t> bytes;  // `count` bytes, or the one byte of a run
  bool run;
};

std::size_t Be(std::span<const std::uint8_t> b) {
  std::size_t v = 0;
  for (auto x : b) v = v * 256 + x;
  return v;
}

// The records of a patch the rules accept for an image of `imageSize` bytes, or nothing.
std::optional<std::vector<RefRecord>> ReferenceParse(std::span<const std::uint8_t> patch, std::size_t imageSize) {
  std::vector<RefRecord> records;
  if (patch.empty()) return records;
  if (patch.size() < 5 || std::memcmp(patch.data(), "PATCH", 5) != 0) return std::nullopt;
  std::size_t p = 5;
  while (p < patch.size()) {
    const std::size_t left = patch.size() - p;
    if (left == 3 && std::memcmp(patch.data() + p, "EOF", 3) == 0) break;
    if (left < 5) return std::nullopt;
    RefRecord r{};
    r.offset = Be(patch.subspan(p, 3));
    const std::size_t length = Be(patch.subspan(p + 3, 2));
    p += 5;
    if (length == 0) {
      if (patch.size() - p < 3) return std::nullopt;
      r.run = true;
      r.count = Be(patch.subspan(p, 2));
      r.bytes = patch.subspan(p + 2, 1);
      p += 3;
    } else {
      if (patch.size() - p < length) return std::nullopt;
      r.run = false;
      r.count = length;
      r.bytes = patch.subspan(p, length);
      p += length;
    }
    if (r.offset > imageSize || r.count > imageSize - r.offset) return std::nullopt;
    records.push_back(r);
  }
  return records;
}

void ReferenceApply(std::vector<std::uint8_t>& image, const std::vector<RefRecord>& records) {
  for (const RefRecord& r : records) {
    for (std::size_t i = 0; i < r.count; ++i) image[r.offset + i] = r.run ? r.bytes[0] : r.bytes[i];
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return -1;  // not an input of this target's form; libFuzzer drops it
  const std::size_t imageSize = (std::size_t{data[0]} << 16 | std::size_t{data[1]} << 8 | data[2]) % 0x20001;
  const std::span<const std::uint8_t> patch(data + 3, size - 3);

  // The image between guard bytes, in one allocation.
  static const std::vector<std::uint8_t> pattern = [] {
    std::vector<std::uint8_t> bytes(0x20000);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + (i >> 8));
    return bytes;
  }();
  std::vector<std::uint8_t> buffer(kGuard + imageSize + kGuard, kGuardByte);
  std::copy_n(pattern.begin(), imageSize, buffer.begin() + kGuard);
  const std::span<std::uint8_t> image(buffer.data() + kGuard, imageSize);
  const std::vector<std::uint8_t> before(image.begin(), image.end());

  const int verdict = quillon::ws::ApplyIpsPatch(image, patch);
  FUZZ_CHECK(verdict == 0 || verdict == 1);
  for (std::size_t i = 0; i < kGuard; ++i) {
    FUZZ_CHECK(buffer[i] == kGuardByte);
    FUZZ_CHECK(buffer[kGuard + imageSize + i] == kGuardByte);
  }

  const auto records = ReferenceParse(patch, imageSize);
  FUZZ_CHECK(verdict == (records ? 0 : 1));
  if (verdict == 1) {
    FUZZ_CHECK(std::equal(image.begin(), image.end(), before.begin(), before.end()));
    return 0;
  }

  std::vector<std::uint8_t> expected = before;
  ReferenceApply(expected, *records);
  FUZZ_CHECK(std::equal(image.begin(), image.end(), expected.begin(), expected.end()));

  FUZZ_CHECK(quillon::ws::ApplyIpsPatch(image, patch) == 0);
  FUZZ_CHECK(std::equal(image.begin(), image.end(), expected.begin(), expected.end()));
  return 0;
}
