#include "data/statement_cache.h"

#include <atomic>

#include <soci/postgresql/soci-postgresql.h>
#include <soci/sqlite3/soci-sqlite3.h>

namespace data {
namespace {

std::atomic<uint64_t> g_prepared{0};

// A value as it is bound: an integer, or text (NULL binds as text).
struct Bound {
  bool is_int = false;
  long long i = 0;
  std::string text;
  bool null = false;
};

Bound ToBound(const Dialect& dialect, const base::Value& v) {
  Bound b;
  std::visit(
      [&](const auto& x) {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<T, base::Null>) {
          b.null = true;
        } else if constexpr (std::is_same_v<T, std::string>) {
          b.text = x;
        } else if constexpr (std::is_same_v<T, base::DateTime>) {
          b.text = x.HasTime() ? x.FormatDateTime() : x.FormatDate();
        } else if constexpr (std::is_same_v<T, int32_t>) {
          b.is_int = true;
          b.i = x;
        } else if constexpr (std::is_same_v<T, bool>) {
          b.is_int = true;
          b.i = x ? 1 : 0;
        } else if constexpr (std::is_same_v<T, base::Currency>) {
          if (dialect.backend() == Backend::kSqlite) {
            b.is_int = true;
            b.i = x.scaled();
          } else {
            b.text = x.ToString();
          }
        }
      },
      v.raw());
  return b;
}

bool BindsAsInt(const Dialect& dialect, const base::Value& v) {
  return std::visit(
      [&](const auto& x) {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<T, int32_t> || std::is_same_v<T, bool>) return true;
        if constexpr (std::is_same_v<T, base::Currency>) {
          return dialect.backend() == Backend::kSqlite;
        }
        return false;
      },
      v.raw());
}

// The statement's identity: text, placeholder names and kinds, columns.
std::string KeyOf(const Dialect& dialect, const Sql& sql, size_t columns) {
  std::string key = sql.text;
  key += '\x1f';
  key += std::to_string(columns);
  for (const auto& [name, value] : sql.params) {
    key += '\x1f';
    key += name;
    key += BindsAsInt(dialect, value) ? 'i' : 't';
  }
  return key;
}

}  // namespace

uint64_t StatementsPrepared() { return g_prepared.load(); }

void CachedStatement::Prepare(const Dialect& dialect, const Sql& sql, size_t columns) {
  backend_ = dialect.backend();
  // Every buffer is sized before anything is bound to it: the statement
  // keeps their addresses.
  size_t ints = 0;
  for (const auto& [name, value] : sql.params) {
    const bool is_int = BindsAsInt(dialect, value);
    slots_.emplace_back(is_int, is_int ? ints : slots_.size() - ints);
    if (is_int) ++ints;
  }
  ints_.resize(ints);
  texts_.resize(sql.params.size() - ints);
  indicators_.resize(sql.params.size());
  columns_.resize(columns);
  column_indicators_.resize(columns);
  for (size_t i = 0; i < columns; ++i) st_.exchange(soci::into(columns_[i], column_indicators_[i]));
  for (size_t p = 0; p < sql.params.size(); ++p) {
    const auto& [is_int, slot] = slots_[p];
    const std::string& name = sql.params[p].first;
    if (is_int) {
      st_.exchange(soci::use(ints_[slot], indicators_[p], name));
    } else {
      st_.exchange(soci::use(texts_[slot], indicators_[p], name));
    }
  }
  st_.alloc();
  st_.prepare(sql.text);
  st_.define_and_bind();
  g_prepared.fetch_add(1);
}

void CachedStatement::Assign(const Dialect& dialect, const Sql& sql) {
  for (size_t p = 0; p < sql.params.size(); ++p) {
    Bound b = ToBound(dialect, sql.params[p].second);
    const auto& [is_int, slot] = slots_[p];
    indicators_[p] = b.null ? soci::i_null : soci::i_ok;
    if (is_int) {
      ints_[slot] = b.i;
    } else {
      texts_[slot] = std::move(b.text);
    }
  }
}

void CachedStatement::Finish() noexcept {
  if (backend_ == Backend::kPostgres) {
    // The client library holds a query's whole result until it is cleared;
    // a kept statement would otherwise hold its last result while idle.
    auto* backend = static_cast<soci::postgresql_statement_backend*>(st_.get_backend());
    if (backend != nullptr) backend->result_.reset();
    return;
  }
  auto* backend = static_cast<soci::sqlite3_statement_backend*>(st_.get_backend());
  if (backend != nullptr && backend->stmt_ != nullptr) sqlite_api::sqlite3_reset(backend->stmt_);
}

CachedStatement& StatementCache::Get(const Sql& sql, size_t columns) {
  std::string key = KeyOf(dialect_, sql, columns);
  auto found = index_.find(key);
  if (found != index_.end()) {
    entries_.splice(entries_.begin(), entries_, found->second);
  } else {
    auto fresh = std::make_unique<CachedStatement>(session_, key);
    fresh->Prepare(dialect_, sql, columns);
    if (entries_.size() >= kCapacity) {
      index_.erase(entries_.back()->key());
      entries_.pop_back();
    }
    entries_.push_front(std::move(fresh));
    index_.emplace(std::move(key), entries_.begin());
  }
  CachedStatement& statement = *entries_.front();
  statement.Assign(dialect_, sql);
  return statement;
}

void StatementCache::Forget(const CachedStatement& statement) noexcept {
  auto found = index_.find(statement.key());
  if (found == index_.end()) return;
  dropped_.splice(dropped_.end(), entries_, found->second);
  index_.erase(found);
}

void StatementCache::Sweep() noexcept { dropped_.clear(); }

}  // namespace data
