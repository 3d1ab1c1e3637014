#include "data/bulk.h"

#include <deque>

#include <soci/soci.h>

#include "data/session.h"
#include "data/session_pool.h"

namespace data {
namespace {

base::Result<base::FieldType> TypeOfValue(const base::Value& v) {
  for (base::FieldType t : {base::FieldType::kText, base::FieldType::kDate, base::FieldType::kInt,
                            base::FieldType::kCurrency, base::FieldType::kBool}) {
    if (v.Is(t)) return t;
  }
  return base::FieldType::kText;  // NULL
}

struct Param {
  base::FieldType type;
  std::string text;
  long long number = 0;
  soci::indicator ind = soci::i_ok;
};

struct Out {
  base::FieldType type;
  std::string text;
  soci::indicator ind = soci::i_ok;
};

// Whether a value of `type` is bound as a number (else as text).
bool AsNumber(base::FieldType type, Backend backend) {
  return type == base::FieldType::kInt || type == base::FieldType::kBool ||
         (type == base::FieldType::kCurrency && backend == Backend::kSqlite);
}

base::Status Set(Param& p, const base::Value& v, Backend backend) {
  p.ind = v.IsNull() ? soci::i_null : soci::i_ok;
  if (v.IsNull()) return base::OkStatus();
  switch (p.type) {
    case base::FieldType::kText: {
      PLX_ASSIGN_OR_RETURN(p.text, v.AsText());
      break;
    }
    case base::FieldType::kDate: {
      PLX_ASSIGN_OR_RETURN(base::DateTime d, v.AsDate());
      p.text = d.HasTime() ? d.FormatDateTime() : d.FormatDate();
      break;
    }
    case base::FieldType::kInt: {
      PLX_ASSIGN_OR_RETURN(p.number, v.AsInt());
      break;
    }
    case base::FieldType::kBool: {
      PLX_ASSIGN_OR_RETURN(bool b, v.AsBool());
      p.number = b ? 1 : 0;
      break;
    }
    case base::FieldType::kCurrency: {
      PLX_ASSIGN_OR_RETURN(base::Currency c, v.AsCurrency());
      if (AsNumber(p.type, backend)) {
        p.number = c.scaled();
      } else {
        p.text = c.ToString();
      }
      break;
    }
  }
  return base::OkStatus();
}

}  // namespace

struct BulkStatement::Bound {
  Bound(soci::session& session, Backend backend) : st(session), dialect(backend) {}
  soci::statement st;
  Dialect dialect;
  std::deque<Param> params;  // deques: bound addresses stay put as they grow
  std::deque<Out> outs;
};

BulkStatement::BulkStatement(std::unique_ptr<Bound> bound) : bound_(std::move(bound)) {}

BulkStatement::~BulkStatement() = default;

base::Result<bool> BulkStatement::Run(const std::vector<base::Value>& values) {
  Bound& b = *bound_;
  if (values.size() != b.params.size()) {
    return base::MakeErr(base::kErrInvalidArgument,
                         "statement takes " + std::to_string(b.params.size()) + " values, got " +
                             std::to_string(values.size()));
  }
  for (size_t i = 0; i < values.size(); ++i) {
    PLX_RETURN_IF_ERROR(Set(b.params[i], values[i], b.dialect.backend()));
  }
  try {
    const bool got = b.st.execute(true);
    changed_ = b.st.get_affected_rows();
    return got && !b.outs.empty();
  } catch (...) {
    return CurrentDbError(b.dialect.backend());
  }
}

base::Result<std::vector<base::Value>> BulkStatement::Row() const {
  std::vector<base::Value> row;
  row.reserve(bound_->outs.size());
  for (const Out& o : bound_->outs) {
    if (o.ind == soci::i_null) {
      row.emplace_back();
      continue;
    }
    PLX_ASSIGN_OR_RETURN(base::Value v, bound_->dialect.Decode(o.type, o.text));
    row.push_back(std::move(v));
  }
  return row;
}

base::Result<std::unique_ptr<BulkSession>> BulkSession::Open(const Target& target) {
  PLX_ASSIGN_OR_RETURN(std::unique_ptr<Session> session, SessionPool::Instance().Acquire(target));
  return std::unique_ptr<BulkSession>(new BulkSession(target, std::move(session)));
}

BulkSession::BulkSession(const Target& target, std::unique_ptr<Session> session)
    : target_(target), dialect_(target.backend), session_(std::move(session)) {}

BulkSession::~BulkSession() {
  Rollback();
  SessionPool::Instance().Release(target_, std::move(session_));
}

base::Status BulkSession::Execute(const std::string& text) {
  try {
    session_->sql() << text;
    return base::OkStatus();
  } catch (...) {
    return CurrentDbError(target_.backend);
  }
}

base::Status BulkSession::Begin() {
  PLX_RETURN_IF_ERROR(Execute(dialect_.BeginTransaction()));
  in_transaction_ = true;
  return base::OkStatus();
}

base::Status BulkSession::Commit() {
  in_transaction_ = false;
  return Execute("COMMIT");
}

void BulkSession::Rollback() noexcept {
  if (!in_transaction_) return;
  in_transaction_ = false;
  (void)Execute("ROLLBACK");
}

base::Result<std::unique_ptr<BulkStatement>> BulkSession::Prepare(
    const std::string& text, const std::vector<base::Field>& params,
    const std::vector<base::Field>& fields) {
  try {
    auto b = std::make_unique<BulkStatement::Bound>(session_->sql(), target_.backend);
    for (const base::Field& f : fields) {
      b->outs.push_back({f.type, std::string(), soci::i_ok});
      Out& o = b->outs.back();
      b->st.exchange(soci::into(o.text, o.ind));
    }
    for (const base::Field& f : params) {
      b->params.push_back({f.type, std::string(), 0, soci::i_ok});
      Param& p = b->params.back();
      if (AsNumber(f.type, target_.backend)) {
        b->st.exchange(soci::use(p.number, p.ind, f.name));
      } else {
        b->st.exchange(soci::use(p.text, p.ind, f.name));
      }
    }
    b->st.alloc();
    b->st.prepare(text);
    b->st.define_and_bind();
    return std::unique_ptr<BulkStatement>(new BulkStatement(std::move(b)));
  } catch (...) {
    return CurrentDbError(target_.backend);
  }
}

base::Status BulkSession::ForEachRow(
    const Sql& sql, const std::vector<base::Field>& fields,
    const std::function<base::Status(const std::vector<base::Value>&)>& each) {
  std::vector<base::Field> params;
  std::vector<base::Value> values;
  for (const auto& [name, value] : sql.params) {
    PLX_ASSIGN_OR_RETURN(base::FieldType type, TypeOfValue(value));
    params.push_back({name, type});
    values.push_back(value);
  }
  PLX_ASSIGN_OR_RETURN(std::unique_ptr<BulkStatement> st, Prepare(sql.text, params, fields));
  PLX_ASSIGN_OR_RETURN(bool have, st->Run(values));
  while (have) {
    PLX_ASSIGN_OR_RETURN(std::vector<base::Value> row, st->Row());
    PLX_RETURN_IF_ERROR(each(row));
    try {
      have = st->bound_->st.fetch();
    } catch (...) {
      return CurrentDbError(target_.backend);
    }
  }
  return base::OkStatus();
}

}  // namespace data
