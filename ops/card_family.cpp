// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/card_family.h"

#include "ops/operation_steps.h"

namespace quillon::ops {

Result CardFamily::Run(CardOperation operation, Operation& op, const OperationArgs& args) const {
  switch (operation) {
    case CardOperation::Write:
      return Write(op, args);
    case CardOperation::Erase:
      return Erase(op, args);
    case CardOperation::Read:
      return Read(op, args);
    case CardOperation::BackupRam:
      return BackupRam(op, args);
    case CardOperation::RestoreRam:
      return RestoreRam(op, args);
  }
  return {Outcome::Failed, "no such card operation"};
}

CardStep OperationStep(const OperationCall& call) {
  return [call](Operation& op) { return TraceChecked(op, call.family->Run(call.operation, op, call.args)); };
}

CardStep VerifyStep(const OperationCall& call) {
  if (call.operation != CardOperation::Write || !call.args.verify) return {};
  return [call](Operation& op) { return TraceChecked(op, call.family->Verify(op, call.args)); };
}

}  // namespace quillon::ops
