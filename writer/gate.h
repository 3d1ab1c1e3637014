// The writer's gate: what every MF_OutBillE operation checks before its
// body (the caller's language, a transaction, then a right or the edit
// guard), built in one place. The frame runs it (frame::WriterGate).
#ifndef PLEXAVO_WRITER_GATE_H_
#define PLEXAVO_WRITER_GATE_H_

#include <functional>
#include <string>

#include "frame/op_frame.h"
#include "reader/rights.h"

namespace writer {

// Whether the connection is opened before the language look-up, so that a
// database that cannot be reached is the first failure reported.
enum class Connect { kFirst, kInBody };

// Language, transaction, then `right`, refused with catalogue message
// `refusal`; a success is an event of `feed_kind` (none: nullptr).
frame::WriterGate RightGate(bool (reader::Rights::*right)(const std::string&), int32_t refusal,
                            const char* feed_kind, Connect connect = Connect::kInBody);

// Language, transaction, then `guard`, which reports its own failure
// (the edit guard of Edit and Delete); a success is an event of `feed_kind`.
frame::WriterGate GuardGate(std::function<bool(const std::string& db, std::string& err)> guard,
                            const char* feed_kind);

}  // namespace writer

#endif  // PLEXAVO_WRITER_GATE_H_
