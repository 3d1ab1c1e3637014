// A call of the in-process component as text: the fingerprint that tells a
// repeat of a keyed call from another call under the same key, and the
// answer kept for it (boundary/idempotency.h).
#ifndef PLEXAVO_BOUNDARY_CALL_RECORD_H_
#define PLEXAVO_BOUNDARY_CALL_RECORD_H_

#include <string>

#include "base/result.h"
#include "boundary/interfaces.h"
#include "boundary/variant.h"

namespace boundary {

// The fingerprint of the operation with its arguments: every value with its
// type, rowsets with their fields and rows, so that two calls share it only
// when they are the same call.
std::string CallFingerprint(const Interface& itf, const Operation& op, const Args& args);

// The text kept for a call that answered `result` with `args` as its final
// values: its in/out values by name and its result. Error when one of them
// is a rowset (no keyed operation answers one).
base::Result<std::string> AnswerRecord(const Operation& op, const Args& args,
                                       const Variant& result);

// The in/out values and the result of a kept answer, written into `args`
// and `result`; error when the text is not one AnswerRecord made for `op`.
base::Status RestoreAnswer(const Operation& op, const std::string& record, Args& args,
                           Variant& result);

}  // namespace boundary

#endif  // PLEXAVO_BOUNDARY_CALL_RECORD_H_
