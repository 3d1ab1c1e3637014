// Failures of the database as the layers above see them: the error numbers
// of provider failures, and how a failure involved another transaction.
#ifndef PLEXAVO_DATA_DB_ERROR_H_
#define PLEXAVO_DATA_DB_ERROR_H_

#include <cstdint>

#include "base/err.h"
#include "data/target.h"

namespace data {

// Error numbers of provider failures (docs/errors.md).
inline constexpr int32_t kDbGeneralError = -2147467259;         // 0x80004005
inline constexpr int32_t kDbIntegrityViolation = -2147217873;   // 0x80040E2F
inline constexpr int32_t kDbInvalidStatement = -2147217900;     // 0x80040E14
inline constexpr int32_t kDbNoPrivilege = -2147217911;          // 0x80040E09
inline constexpr int32_t kDbTransactionConflict = -2147217871;  // 0x80040E31

// How a failed statement involved another transaction (CurrentConflict):
//   kTransient  it got in the way: SQLite busy or locked; PostgreSQL
//               serialization failure, deadlock, lock not available. The
//               same work may well succeed on a fresh transaction.
//   kKeyTaken   a unique key was already taken (PostgreSQL): by a
//               transaction that committed while this one ran, or by a row
//               that was there all along (the statement's own fault); only
//               a second try tells.
enum class Conflict { kNone, kTransient, kKeyTaken };

}  // namespace data

#endif  // PLEXAVO_DATA_DB_ERROR_H_
