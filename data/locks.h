// Locks: what a writer takes before it reads rows it is going to change, so
// that two writers sharing rows run one after the other instead of one of
// them failing. Every writer takes its locks in one fixed order, which is
// what keeps them from deadlocking:
//
//   1. the bill headers it names (a row lock, Dialect::ForUpdate);
//   2. the number range of a period it draws numbers from;
//   3. the production orders it issues against (their lines, BOM rows and
//      start marks);
//   4. the stock balances it moves.
//
// Ranks 2 to 4 are named locks (they need no row to exist). Within a rank
// the names are taken in the order of their keys; a call that takes
// several groups takes every name of a lower rank before any of a higher
// one, and may take a name it already holds again. On SQLite nothing is
// taken: its write transaction already keeps writers apart.
#ifndef PLEXAVO_DATA_LOCKS_H_
#define PLEXAVO_DATA_LOCKS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "base/result.h"
#include "data/connection.h"

namespace data {

enum class LockRank : int32_t { kNumberRange = 2, kOrder = 3, kStockBalance = 4 };

struct LockName {
  LockRank rank;
  int32_t key;  // a hash of the locked thing's name within its rank

  friend bool operator<(const LockName& a, const LockName& b) {
    return a.rank != b.rank ? a.rank < b.rank : a.key < b.key;
  }
  friend bool operator==(const LockName& a, const LockName& b) {
    return a.rank == b.rank && a.key == b.key;
  }
};

// The numbers of one period (`prefix`) of a numbered table.
LockName NumberRangeLock(const std::string& table, const std::string& prefix);
// One production order, all its lines.
LockName OrderLock(const std::string& order);
// The balance of one article (and serial number) on one shelf.
LockName StockBalanceLock(const std::string& shelf, int32_t article, const std::string& serial);

// Takes the locks in the fixed order (see above), each once, for the rest
// of the connection's transaction.
base::Status TakeLocks(Connection& cnn, std::vector<LockName> names);

}  // namespace data

#endif  // PLEXAVO_DATA_LOCKS_H_
