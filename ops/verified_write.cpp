// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/verified_write.h"

namespace quillon::ops {

VerifiedWrite WriteThenVerify(Operation& op, const CardStep& write, const CardStep& verify) {
  VerifiedWrite done{write(op), std::nullopt};
  // Without a verify, a write that succeeded is complete.
  if (!done.written.ok() || !verify) return done;
  done.verified = verify(op);
  // verify passed (done.verified->ok()): the write is complete. A failed or stopped verify
  // leaves it unfinished, as a failed write does.
  return done;
}

}  // namespace quillon::ops
