// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/program_state.h"

namespace quillon::ops {

std::string DirectoryOf(const std::string& filePath) {
  const auto slash = filePath.find_last_of('/');
  return slash == std::string::npos ? std::string() : filePath.substr(0, slash + 1);
}

}  // namespace quillon::ops
