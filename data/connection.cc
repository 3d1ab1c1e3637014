#include "data/connection.h"

#include <deque>

#include "data/session_pool.h"
#include "data/stats.h"

namespace data {
namespace {

base::Err NotOpen() {
  return base::MakeErr(3704, "Operation is not allowed when the object is closed.", "Plexavo.Data");
}

// Holds bound values for the lifetime of one statement; SOCI keeps
// references to them, so they live in deques that never move elements.
class Binder {
 public:
  Binder(const Dialect& dialect, soci::statement& st) : dialect_(dialect), st_(st) {}

  void Bind(const std::string& name, const base::Value& v) {
    indicators_.push_back(v.IsNull() ? soci::i_null : soci::i_ok);
    soci::indicator& ind = indicators_.back();
    std::visit(
        [&](const auto& x) {
          using T = std::decay_t<decltype(x)>;
          if constexpr (std::is_same_v<T, base::Null>) {
            UseText("", ind, name);
          } else if constexpr (std::is_same_v<T, std::string>) {
            UseText(x, ind, name);
          } else if constexpr (std::is_same_v<T, base::DateTime>) {
            UseText(x.HasTime() ? x.FormatDateTime() : x.FormatDate(), ind, name);
          } else if constexpr (std::is_same_v<T, int32_t>) {
            UseInt(x, ind, name);
          } else if constexpr (std::is_same_v<T, bool>) {
            UseInt(x ? 1 : 0, ind, name);
          } else if constexpr (std::is_same_v<T, base::Currency>) {
            if (dialect_.backend() == Backend::kSqlite) {
              UseInt(x.scaled(), ind, name);
            } else {
              UseText(x.ToString(), ind, name);
            }
          }
        },
        v.raw());
  }

 private:
  void UseText(const std::string& s, soci::indicator& ind, const std::string& name) {
    texts_.push_back(s);
    st_.exchange(soci::use(texts_.back(), ind, name));
  }
  void UseInt(long long i, soci::indicator& ind, const std::string& name) {
    ints_.push_back(i);
    st_.exchange(soci::use(ints_.back(), ind, name));
  }

  const Dialect& dialect_;
  soci::statement& st_;
  std::deque<std::string> texts_;
  std::deque<long long> ints_;
  std::deque<soci::indicator> indicators_;
};

}  // namespace

base::Status Connection::Open(const std::string& cnn, Enlistment* tx, OpenMode mode) {
  PLX_ASSIGN_OR_RETURN(Target target, ParseConnectionString(cnn));
  return Open(target, tx, mode);
}

base::Status Connection::Open(const Target& target, Enlistment* tx, OpenMode mode) {
  Close();
  target_ = target;
  dialect_ = Dialect(target_.backend);
  if (tx != nullptr) {
    tx_ = tx;
    PLX_ASSIGN_OR_RETURN(session_, tx->Join(target_));
    return base::OkStatus();
  }
  PLX_ASSIGN_OR_RETURN(own_, SessionPool::Instance().Acquire(target_, mode));
  session_ = own_.get();
  return base::OkStatus();
}

void Connection::Close() noexcept {
  session_ = nullptr;
  tx_ = nullptr;
  // An autocommit session holds no transaction and can serve another call.
  if (own_) SessionPool::Instance().Release(target_, std::move(own_));
}

base::Result<int64_t> Connection::Execute(const Sql& sql) {
  if (session_ == nullptr) return NotOpen();
  StatementTimer timer;
  try {
    soci::statement st(*session_);
    Binder binder(dialect_, st);
    for (const auto& [name, value] : sql.params) binder.Bind(name, value);
    st.alloc();
    st.prepare(sql.text);
    st.define_and_bind();
    st.execute(true);
    return static_cast<int64_t>(st.get_affected_rows());
  } catch (...) {
    return Failed();
  }
}

base::Err Connection::Failed() {
  if (tx_ != nullptr) tx_->NoteConflict(CurrentConflict());
  return CurrentDbError(target_.backend);
}

base::Result<base::Rowset> Connection::Query(const Sql& sql,
                                             const std::vector<base::Field>& fields) {
  if (session_ == nullptr) return NotOpen();
  base::Rowset rowset(fields);
  std::vector<std::string> texts(fields.size());
  std::vector<soci::indicator> inds(fields.size());
  StatementTimer timer;
  try {
    soci::statement st(*session_);
    for (size_t i = 0; i < fields.size(); ++i) st.exchange(soci::into(texts[i], inds[i]));
    Binder binder(dialect_, st);
    for (const auto& [name, value] : sql.params) binder.Bind(name, value);
    st.alloc();
    st.prepare(sql.text);
    st.define_and_bind();
    bool have = st.execute(true);
    while (have) {
      std::vector<base::Value> row;
      row.reserve(fields.size());
      for (size_t i = 0; i < fields.size(); ++i) {
        if (inds[i] == soci::i_null) {
          row.emplace_back();
          continue;
        }
        PLX_ASSIGN_OR_RETURN(base::Value v, dialect_.Decode(fields[i].type, texts[i]));
        row.push_back(std::move(v));
      }
      PLX_RETURN_IF_ERROR(rowset.AddRow(std::move(row)));
      have = st.fetch();
    }
  } catch (...) {
    return Failed();
  }
  return rowset;
}

}  // namespace data
