// Dispatch: invoking an operation of a hosted object from a list of
// arguments in the operation's parameter order. In/out arguments are
// replaced by their final values; the operation's result is answered.
#ifndef PLEXAVO_BOUNDARY_DISPATCH_H_
#define PLEXAVO_BOUNDARY_DISPATCH_H_

#include "base/result.h"
#include "boundary/interfaces.h"
#include "boundary/variant.h"
#include "host/object_context.h"

namespace boundary {

// Error numbers of the dispatch layer (the host's own codes).
inline constexpr int32_t kErrNotImplemented = -2147467263;  // 0x80004001
inline constexpr int32_t kErrBadParamCount = -2147352562;   // 0x8002000E
inline constexpr int32_t kErrTypeMismatch = -2147352571;    // 0x80020005
inline constexpr int32_t kErrWrongObject = -2147418113;     // 0x8000FFFF

// Whether the operation's behaviour is built (otherwise Invoke answers
// kErrNotImplemented and touches nothing).
bool IsImplemented(const Interface& itf, const Operation& op);

// Checks the argument count and each argument's type against the table.
base::Status CheckArgs(const Operation& op, const Args& args);

// Checks that every bound method takes exactly the parameter types and
// directions, and answers the result type, of its table entry.
base::Status VerifyBindings();

base::Result<Variant> Invoke(host::Component& object, const Interface& itf, const Operation& op,
                             Args& args);

}  // namespace boundary

#endif  // PLEXAVO_BOUNDARY_DISPATCH_H_
