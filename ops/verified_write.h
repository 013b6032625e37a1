// SPDX-License-Identifier: GPL-3.0-or-later
// A card write and the verify that may follow it: the card read back and compared with what
// was written (quillon-cli write --verify, the main window's "Verify after writing"). Both
// front ends run a write through here.
#pragma once

#include <functional>
#include <optional>

#include "ops/operation.h"

namespace quillon::ops {

using CardStep = std::function<Result(Operation&)>;

struct VerifiedWrite {
  Result written;                  // the write's result
  std::optional<Result> verified;  // the verify's, when one ran: it was asked for and the write succeeded

  // The card holds what was written: the write succeeded and so did its verify, when one ran.
  bool complete() const { return written.ok() && (!verified || verified->ok()); }
  // What the write comes to: a verify's failure or stop when it had one, else the write's result.
  const Result& overall() const { return verified && !verified->ok() ? *verified : written; }
};

// Runs `write` and, when it succeeded and `verify` is not empty, `verify` on the same
// operation. complete() of the answer is where a write is known to be done.
VerifiedWrite WriteThenVerify(Operation& op, const CardStep& write, const CardStep& verify);

}  // namespace quillon::ops
