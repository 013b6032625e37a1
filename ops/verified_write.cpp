// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/verified_write.h"

#include "ops/journal.h"

namespace quillon::ops {

VerifiedWrite WriteThenVerify(Operation& op, const CardStep& write, const CardStep& verify) {
  // With a verify to follow, the write's success alone does not end its journal entry.
  const bool verifyFollowed = op.state.verifyFollows;
  op.state.verifyFollows = static_cast<bool>(verify);
  VerifiedWrite done{write(op), std::nullopt};
  op.state.verifyFollows = verifyFollowed;
  // Without a verify, a write that succeeded is complete.
  if (!done.written.ok() || !verify) return done;
  done.verified = verify(op);
  // A failed or stopped verify leaves the write unfinished, as a failed write does.
  if (done.complete()) WrittenCardChecked(op);
  return done;
}

}  // namespace quillon::ops
