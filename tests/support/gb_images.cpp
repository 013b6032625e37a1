// SPDX-License-Identifier: GPL-3.0-or-later
#include "gb_images.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace quillon::support {

namespace {

// The logo a GB checks at boot.
constexpr std::uint8_t kLogo[48] = {0xCE, 0xED, 0x66, 0x66, 0xCC, 0x0D, 0x00, 0x0B, 0x03, 0x73, 0x00, 0x83,
                                    0x00, 0x0C, 0x00, 0x0D, 0x00, 0x08, 0x11, 0x1F, 0x88, 0x89, 0x00, 0x0E,
                                    0xDC, 0xCC, 0x6E, 0xE6, 0xDD, 0xDD, 0xD9, 0x99, 0xBB, 0xBB, 0x67, 0x63,
                                    0x6E, 0x0E, 0xEC, 0xCC, 0xDD, 0xDC, 0x99, 0x9F, 0xBB, 0xB9, 0x33, 0x3E};

void writeHeader(Bytes& image, const std::string& title, std::uint8_t type, std::uint8_t romCode, std::uint8_t ramCode,
                 bool color) {
  // Entry: nop; jp 0x0150. At 0x0150: jr -2 (nothing to run).
  const std::uint8_t entry[] = {0x00, 0xC3, 0x50, 0x01};
  std::copy(std::begin(entry), std::end(entry), image.begin() + 0x100);
  std::copy(std::begin(kLogo), std::end(kLogo), image.begin() + 0x104);
  std::fill(image.begin() + 0x134, image.begin() + 0x144, 0);
  std::copy_n(title.begin(), std::min<std::size_t>(title.size(), 16), image.begin() + 0x134);
  if (color) image[0x143] = static_cast<std::uint8_t>(image[0x143] | 0x80);
  image[0x147] = type;
  image[0x148] = romCode;
  image[0x149] = ramCode;
  image[0x14A] = 0x01;
  image[0x150] = 0x18;
  image[0x151] = 0xFE;
  fixHeaderChecksum(image);
}

}  // namespace

void fixHeaderChecksum(std::span<std::uint8_t> image) {
  std::uint8_t sum = 0;
  for (std::size_t i = 0x134; i <= 0x14C; ++i) sum = static_cast<std::uint8_t>(sum - image[i] - 1);
  image[0x14D] = sum;
}

void fixGlobalChecksum(std::span<std::uint8_t> image) {
  std::uint16_t sum = 0;
  for (std::size_t i = 0; i < image.size(); ++i)
    if (i != 0x14E && i != 0x14F) sum = static_cast<std::uint16_t>(sum + image[i]);
  image[0x14E] = static_cast<std::uint8_t>(sum >> 8);
  image[0x14F] = static_cast<std::uint8_t>(sum);
}

void fixWsChecksum(std::span<std::uint8_t> image) {
  image[image.size() - 4] &= 0x07;
  std::uint16_t sum = 0;
  for (std::size_t i = 0; i + 2 < image.size(); ++i) sum = static_cast<std::uint16_t>(sum + image[i]);
  image[image.size() - 2] = static_cast<std::uint8_t>(sum);
  image[image.size() - 1] = static_cast<std::uint8_t>(sum >> 8);
}

Bytes makeGbImage(const GbImageSpec& spec) {
  const std::size_t size = std::size_t{0x8000} << std::min<int>(spec.romCode, 7);
  Bytes image(size);
  for (std::size_t i = 0; i < size; ++i)
    image[i] = static_cast<std::uint8_t>((i * 7 + (i >> 14) * 13 + spec.title.size()) & 0xFF);
  for (std::size_t bank = 0; bank < size / 0x4000; ++bank) {
    const std::size_t at = bank * 0x4000 + (bank == 0 ? 0x3F00 : 0x0200);
    image[at] = static_cast<std::uint8_t>(bank);
    std::copy_n(spec.title.begin(), std::min<std::size_t>(spec.title.size(), 15),
                image.begin() + static_cast<std::ptrdiff_t>(at + 1));
  }
  writeHeader(image, spec.title, spec.type, spec.romCode, spec.ramCode, spec.color);
  return image;
}

Bytes makeMenuImage(std::size_t size, const std::string& title) {
  Bytes image(size, 0x00);
  writeHeader(image, title, 0x19, 0x00, 0x03, true);
  return image;
}

void placeOnFlashCard(std::span<std::uint8_t> bios, std::span<std::uint8_t> flash,
                      const std::vector<PlacedImage>& images, int writerType) {
  const std::size_t directory = writerType == 0 ? 0x3C00 : 0x0200;
  for (std::size_t i = 0; i < images.size(); ++i) {
    const auto& placed = images[i];
    const std::size_t start = static_cast<std::size_t>(placed.region) * 0x80000;
    if (start + placed.image.size() > flash.size()) throw std::runtime_error("image beyond the card");
    std::copy(placed.image.begin(), placed.image.end(), flash.begin() + static_cast<std::ptrdiff_t>(start));
    auto slot = bios.subspan(directory + 32 * i, 32);
    slot[0] = static_cast<std::uint8_t>(i + 1);
    slot[1] = static_cast<std::uint8_t>((placed.region << 4) | (placed.ramUnit & 0x0F));
    std::fill(slot.begin() + 16, slot.end(), 0);
    std::copy_n(placed.image.begin() + 0x134, 15, slot.begin() + 16);
  }
}

void writeFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

Bytes readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace quillon::support
