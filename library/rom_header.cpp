// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/rom_header.h"

#include <iconv.h>

#include <array>

#include "library/gb_header.h"
#include "library/names.h"
#include "library/regular_file.h"
#include "text/escape.h"

namespace quillon::library {

namespace {

using namespace gb_header;

// Owns one iconv descriptor for the length of a call.
class Big5Decoder {
 public:
  Big5Decoder() : cd_(iconv_open("UTF-8", "BIG5")) {}
  ~Big5Decoder() {
    if (available()) iconv_close(cd_);
  }
  Big5Decoder(const Big5Decoder&) = delete;
  Big5Decoder& operator=(const Big5Decoder&) = delete;

  // iconv_open's failure value is (iconv_t)-1.
  bool available() const { return cd_ != reinterpret_cast<iconv_t>(-1); }  // NOLINT(performance-no-int-to-ptr)

  // Converts exactly the two bytes of one Big5 character; false when they are no valid
  // character.
  bool DecodePair(char lead, char trail, std::string& out) {
    std::array<char, 2> in{lead, trail};
    std::array<char, 16> buffer{};
    char* inPtr = in.data();
    std::size_t inLeft = in.size();
    char* outPtr = buffer.data();
    std::size_t outLeft = buffer.size();
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
    const std::size_t done = iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft);
    if (done == static_cast<std::size_t>(-1) || inLeft != 0) return false;
    out.append(buffer.data(), static_cast<std::size_t>(outPtr - buffer.data()));
    return true;
  }

 private:
  iconv_t cd_;
};

void AppendLatin1(unsigned char byte, std::string& out) {
  if (byte < 0x80) {
    out.push_back(static_cast<char>(byte));
  } else {
    out.push_back(static_cast<char>(0xC0 | (byte >> 6)));
    out.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
  }
}

}  // namespace

std::string GbTitle(std::string_view titleBytes) {
  std::string_view title = titleBytes.substr(0, kTitleBytes);
  title = title.substr(0, title.find('\0'));
  if (title.size() == kTitleBytes) {
    const auto last = static_cast<unsigned char>(title.back());
    if (last == kColourCompatible || last == kColourOnly) title.remove_suffix(1);
  }
  return std::string(title);
}

GbFacts ReadGbFacts(const std::filesystem::path& file) {
  GbFacts facts;
  const auto header = ReadFilePrefix(file, kGbHeaderSize);
  if (!header) {
    facts.status = GbFacts::OpenError;
    return facts;
  }
  if (header->size() != kGbHeaderSize) {
    facts.status = GbFacts::ShortRead;
    return facts;
  }
  facts.status = GbFacts::Ok;
  // The lists show the 15 bytes before the colour flag.
  facts.title = GbTitle(std::string_view(reinterpret_cast<const char*>(header->data() + kTitle), kTitleLength));
  facts.type = (*header)[kCartType];
  facts.romCode = (*header)[kRomSizeCode];
  facts.ramCode = (*header)[kRamSizeCode];
  facts.color = ((*header)[kColourFlag] & 0x80) != 0 ? 1 : 0;
  return facts;
}

WsFacts ReadWsFacts(const std::filesystem::path& file) {
  WsFacts facts;
  RegularFile in(file);
  if (!in.ok()) return facts;
  facts.opened = true;
  facts.size = in.size();
  if (facts.size < 5) return facts;
  std::uint8_t byte = 0;
  if (in.ReadAt(facts.size - 5, std::span(&byte, 1)) == 1u) facts.saveType = byte;
  return facts;
}

int RomClass(int romCode) {
  if (romCode < 0 || romCode >= 8) return -1;
  if (romCode <= 4) return 3;
  return 7 - romCode;  // 5 -> 2, 6 -> 1, 7 -> 0
}

int RamClass(int ramCode) {
  switch (ramCode) {
    case 0:
      return 0;
    case 1:
    case 2:
      return 1;
    case 3:
      return 2;
    default:
      return -1;
  }
}

int WsRamClass(int saveType) { return saveType == 0x10 || saveType == 0x20 ? 1 : 0; }

std::string_view WsSizeText(std::uint64_t size) {
  struct SizeText {
    std::uint64_t bytes;
    std::string_view text;
  };
  static constexpr std::array<SizeText, 6> kSizes = {{{0x1000000, "128M"},
                                                      {0x800000, "64M"},
                                                      {0x400000, "32M"},
                                                      {0x200000, "16M"},
                                                      {0x100000, "8M"},
                                                      {0x80000, "4M"}}};
  for (const SizeText& s : kSizes) {
    if (size == s.bytes || size == s.bytes + 0x200) return s.text;
  }
  return "Error";
}

std::string_view WsSaveText(int saveType) {
  switch (saveType) {
    case 0x00:
      return "None";
    case 0x01:
      return "64K SRAM";
    case 0x02:
      return "256K SRAM";
    case 0x10:
      return "1K EEPROM";
    case 0x20:
      return "16K EEPROM";
    default:
      return "Unknown";
  }
}

std::string_view CardRomText(int romCode) {
  switch (RomClass(romCode)) {
    case 0:
      return "32M";
    case 1:
      return "16M";
    case 2:
      return "8M";
    case 3:
      return "4M";
    default:
      return "Unknown";
  }
}

std::string_view CardRamText(int ramCode) {
  switch (RamClass(ramCode)) {
    case 0:
      return "None";
    case 1:
      return "64K";
    case 2:
      return "256K";
    default:
      return "Unknown";
  }
}

std::string_view ColorText(int color) {
  switch (color) {
    case 1:
      return "C";
    case 0:
      return "M";
    default:
      return "";
  }
}

ListRow GbFileRow(const std::string& fileName, const GbFacts& facts) {
  return ListRow{fileName,
                 facts.title,
                 std::string(CartTypeName(facts.type)),
                 std::string(RomSizeName(facts.romCode)),
                 std::string(RamSizeName(facts.ramCode)),
                 std::string(ColorText(facts.color))};
}

ListRow GbCardRow(const std::string& fileName, const GbFacts& facts) {
  return ListRow{fileName,
                 facts.title,
                 std::string(CartTypeName(facts.type)),
                 std::string(CardRomText(facts.romCode)),
                 std::string(CardRamText(facts.ramCode)),
                 std::string(ColorText(facts.color))};
}

ListRow WsRow(const std::string& fileName, const WsFacts& facts) {
  return ListRow{fileName, "", "", std::string(WsSizeText(facts.size)), std::string(WsSaveText(facts.saveType)), ""};
}

std::string TitleForDisplay(std::string_view raw) {
  std::string out;
  out.reserve(raw.size() * 2);
  bool needsDecoder = false;
  for (char c : raw) needsDecoder = needsDecoder || static_cast<unsigned char>(c) >= 0x80;
  if (!needsDecoder) return std::string(raw);

  Big5Decoder decoder;
  std::size_t i = 0;
  while (i < raw.size()) {
    const auto byte = static_cast<unsigned char>(raw[i]);
    if (byte >= 0x80 && decoder.available() && i + 1 < raw.size() && decoder.DecodePair(raw[i], raw[i + 1], out)) {
      i += 2;
      continue;
    }
    AppendLatin1(byte, out);
    ++i;
  }
  return out;
}

std::string EscapeField(std::string_view field) { return text::EscapeBytes(field, {text::HighBytes::Utf8, ""}); }

std::string ShownBig5(std::string_view raw) { return EscapeField(TitleForDisplay(raw)); }

std::string FormatListRow(const ListRow& row) {
  std::string line = EscapeField(row.file);
  for (const std::string& part : {ShownBig5(row.name), EscapeField(row.type), EscapeField(row.rom),
                                  EscapeField(row.ram), EscapeField(row.color)}) {
    line.push_back('\t');
    line += part;
  }
  return line;
}

}  // namespace quillon::library
