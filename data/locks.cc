#include "data/locks.h"

#include <algorithm>

#include "data/value_rows.h"

namespace data {
namespace {

// FNV-1a folded to 32 bits: stable across processes and builds, which is
// what several servers on one database need. Two names that share a key
// only wait for each other more often than they must.
int32_t KeyOf(const std::string& name) {
  uint64_t h = 14695981039346656037ull;
  for (unsigned char c : name) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return static_cast<int32_t>(static_cast<uint32_t>(h ^ (h >> 32)));
}

}  // namespace

LockName NumberRangeLock(const std::string& table, const std::string& prefix) {
  return {LockRank::kNumberRange, KeyOf(table + '\x1f' + prefix)};
}

LockName OrderLock(const std::string& order) { return {LockRank::kOrder, KeyOf(order)}; }

LockName StockBalanceLock(const std::string& shelf, int32_t article, const std::string& serial) {
  return {LockRank::kStockBalance,
          KeyOf(shelf + '\x1f' + std::to_string(article) + '\x1f' + serial)};
}

base::Status TakeLocks(Connection& cnn, std::vector<LockName> names) {
  const char* head = cnn.dialect().NamedLocksHead();
  if (head == nullptr || names.empty()) return base::OkStatus();
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  // One statement takes them all, in the list's (sorted) order.
  const RowStatement statement{
      head, cnn.dialect().NamedLocksTail(), {base::FieldType::kInt, base::FieldType::kInt}, true};
  std::vector<std::vector<base::Value>> rows;
  rows.reserve(names.size());
  for (const LockName& name : names) {
    rows.push_back({base::Value(static_cast<int32_t>(name.rank)), base::Value(name.key)});
  }
  PLX_RETURN_IF_ERROR(QueryRows(cnn, statement, rows, {{"Held", base::FieldType::kInt}}));
  return base::OkStatus();
}

}  // namespace data
