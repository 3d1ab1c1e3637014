// Opening backend sessions and turning backend failures into error objects.
// Only the data layer sees SOCI; everything above it sees base::Err.
#ifndef PLEXAVO_DATA_SESSION_H_
#define PLEXAVO_DATA_SESSION_H_

#include <memory>

#include <soci/soci.h>

#include "base/result.h"
#include "data/target.h"

namespace data {

// Error numbers of provider failures (docs/errors.md).
inline constexpr int32_t kDbGeneralError = -2147467259;         // 0x80004005
inline constexpr int32_t kDbIntegrityViolation = -2147217873;   // 0x80040E2F
inline constexpr int32_t kDbInvalidStatement = -2147217900;     // 0x80040E14
inline constexpr int32_t kDbNoPrivilege = -2147217911;          // 0x80040E09
inline constexpr int32_t kDbTransactionConflict = -2147217871;  // 0x80040E31

enum class OpenMode { kExisting, kCreateIfMissing };

// Opens a session. SQLite: WAL journal, busy timeout, and a missing file is
// refused unless kCreateIfMissing. PostgreSQL: a libpq session.
base::Result<std::unique_ptr<soci::session>> OpenSession(const Target& target,
                                                         OpenMode mode = OpenMode::kExisting);

// Whether a failure came from another transaction's work: a transaction
// conflict or a key violation.
bool IsTransactionConflict(const base::Err& err);

// Maps the exception in flight (call inside a catch block) to an error object.
base::Err CurrentDbError(Backend backend);

}  // namespace data

#endif  // PLEXAVO_DATA_SESSION_H_
