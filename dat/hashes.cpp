// SPDX-License-Identifier: GPL-3.0-or-later
#include "dat/hashes.h"

#include <openssl/evp.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <memory>

namespace quillon::dat {

namespace {

// zlib counts in uInt; a piece never exceeds this.
constexpr std::size_t kPiece = std::size_t{1} << 20;

struct DigestContextFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using DigestContext = std::unique_ptr<EVP_MD_CTX, DigestContextFree>;

DigestContext StartDigest(const EVP_MD* kind) {
  DigestContext context(EVP_MD_CTX_new());
  if (context && EVP_DigestInit_ex(context.get(), kind, nullptr) != 1) context.reset();
  return context;
}

std::string FinishDigest(const DigestContext& context) {
  std::array<std::uint8_t, EVP_MAX_MD_SIZE> digest{};
  unsigned int length = 0;
  if (!context || EVP_DigestFinal_ex(context.get(), digest.data(), &length) != 1) return {};
  return HexOf(std::span(digest).first(length));
}

std::string Crc32Text(std::uint32_t crc) {
  const std::array<std::uint8_t, 4> bytes = {static_cast<std::uint8_t>(crc >> 24), static_cast<std::uint8_t>(crc >> 16),
                                             static_cast<std::uint8_t>(crc >> 8), static_cast<std::uint8_t>(crc)};
  return HexOf(bytes);
}

}  // namespace

std::string HexOf(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const std::uint8_t byte : bytes) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0F];
  }
  return text;
}

std::uint32_t Crc32Of(std::span<const std::uint8_t> bytes) {
  uLong crc = crc32(0L, Z_NULL, 0);
  for (std::size_t at = 0; at < bytes.size(); at += kPiece) {
    const std::size_t length = std::min(kPiece, bytes.size() - at);
    crc = crc32(crc, bytes.data() + at, static_cast<uInt>(length));
  }
  return static_cast<std::uint32_t>(crc);
}

Hashes HashBytes(std::span<const std::uint8_t> bytes) {
  const std::array<DigestContext, 3> digests = {StartDigest(EVP_md5()), StartDigest(EVP_sha1()),
                                                StartDigest(EVP_sha256())};
  uLong crc = crc32(0L, Z_NULL, 0);
  for (std::size_t at = 0; at < bytes.size(); at += kPiece) {
    const auto piece = bytes.subspan(at, std::min(kPiece, bytes.size() - at));
    crc = crc32(crc, piece.data(), static_cast<uInt>(piece.size()));
    for (const auto& digest : digests)
      if (digest) EVP_DigestUpdate(digest.get(), piece.data(), piece.size());
  }
  return {Crc32Text(static_cast<std::uint32_t>(crc)), FinishDigest(digests[0]), FinishDigest(digests[1]),
          FinishDigest(digests[2])};
}

}  // namespace quillon::dat
