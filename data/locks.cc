#include "data/locks.h"

#include <algorithm>

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
  const char* statement = cnn.dialect().NamedLock();
  if (statement == nullptr) return base::OkStatus();
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  for (const LockName& name : names) {
    PLX_RETURN_IF_ERROR(cnn.Query(
        Sql(statement).Bind("space", static_cast<int32_t>(name.rank)).Bind("key", name.key),
        {{"Held", base::FieldType::kInt}}));
  }
  return base::OkStatus();
}

}  // namespace data
