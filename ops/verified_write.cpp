// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/verified_write.h"

namespace quillon::ops {

VerifiedWrite WriteThenVerify(Operation& op, const CardStep& write, const CardStep& verify) {
  VerifiedWrite done{write(op), std::nullopt};
  if (!done.written.ok() || !verify) return done;  // no verify: the write's success completes it
  done.verified = verify(op);
  // done.verified->ok(): the verify passed, the write is complete; a failed or stopped verify
  // leaves it unfinished, as a failed write does.
  return done;
}

}  // namespace quillon::ops
