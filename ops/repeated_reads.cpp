// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/repeated_reads.h"

#include <algorithm>

namespace quillon::ops {

Step RepeatedReads::Read(std::span<std::uint8_t> bytes, const ReadOnce& readOnce) {
  differed_ = false;
  const Step first = readOnce(bytes);
  if (!twice_ || first != Step::Ok) return first;
  second_.resize(bytes.size());
  if (const Step second = readOnce(second_); second != Step::Ok) return second;
  if (std::ranges::equal(bytes, second_)) return Step::Ok;
  ++thirdReads_;
  third_.resize(bytes.size());
  if (const Step third = readOnce(third_); third != Step::Ok) return third;
  if (std::ranges::equal(bytes, third_)) return Step::Ok;
  if (std::ranges::equal(second_, third_)) {
    std::ranges::copy(third_, bytes.begin());
    return Step::Ok;
  }
  differed_ = true;
  return Step::Failed;
}

std::string RepeatedReads::ThirdReadsLine(std::string_view unit) const {
  if (thirdReads_ == 0) return {};
  return std::to_string(thirdReads_) + " " + std::string(unit) + (thirdReads_ == 1 ? "" : "s") + " needed a third read";
}

std::string ReadDifferently(std::string_view unit, unsigned number) {
  return std::string(unit) + " " + std::to_string(number) +
         " read differently each time: clean the contacts and read again";
}

}  // namespace quillon::ops
