#include "data/bulk.h"

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

}  // namespace

BulkStatement::~BulkStatement() = default;

bool BulkStatement::AsNumber(base::FieldType type) const {
  return type == base::FieldType::kInt || type == base::FieldType::kBool ||
         (type == base::FieldType::kCurrency && dialect_.backend() == Backend::kSqlite);
}

base::Status BulkStatement::Set(Param& p, const base::Value& v) {
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
      if (AsNumber(p.type)) {
        p.number = c.scaled();
      } else {
        p.text = c.ToString();
      }
      break;
    }
  }
  return base::OkStatus();
}

base::Result<bool> BulkStatement::Run(const std::vector<base::Value>& values) {
  if (values.size() != params_.size()) {
    return base::MakeErr(base::kErrInvalidArgument,
                         "statement takes " + std::to_string(params_.size()) + " values, got " +
                             std::to_string(values.size()));
  }
  for (size_t i = 0; i < values.size(); ++i) PLX_RETURN_IF_ERROR(Set(params_[i], values[i]));
  try {
    const bool got = st_.execute(true);
    changed_ = st_.get_affected_rows();
    return got && !outs_.empty();
  } catch (...) {
    return CurrentDbError(dialect_.backend());
  }
}

base::Result<std::vector<base::Value>> BulkStatement::Row() const {
  std::vector<base::Value> row;
  row.reserve(outs_.size());
  for (const Out& o : outs_) {
    if (o.ind == soci::i_null) {
      row.emplace_back();
      continue;
    }
    PLX_ASSIGN_OR_RETURN(base::Value v, dialect_.Decode(o.type, o.text));
    row.push_back(std::move(v));
  }
  return row;
}

base::Result<std::unique_ptr<BulkSession>> BulkSession::Open(const Target& target) {
  PLX_ASSIGN_OR_RETURN(std::unique_ptr<Session> session, SessionPool::Instance().Acquire(target));
  return std::unique_ptr<BulkSession>(new BulkSession(target, std::move(session)));
}

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
  std::unique_ptr<BulkStatement> bs(new BulkStatement(session_->sql(), target_.backend));
  try {
    for (const base::Field& f : fields) {
      bs->outs_.push_back({f.type, std::string(), soci::i_ok});
      BulkStatement::Out& o = bs->outs_.back();
      bs->st_.exchange(soci::into(o.text, o.ind));
    }
    for (const base::Field& f : params) {
      bs->params_.push_back({f.type, std::string(), 0, soci::i_ok});
      BulkStatement::Param& p = bs->params_.back();
      if (bs->AsNumber(f.type)) {
        bs->st_.exchange(soci::use(p.number, p.ind, f.name));
      } else {
        bs->st_.exchange(soci::use(p.text, p.ind, f.name));
      }
    }
    bs->st_.alloc();
    bs->st_.prepare(text);
    bs->st_.define_and_bind();
  } catch (...) {
    return CurrentDbError(target_.backend);
  }
  return bs;
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
      have = st->st_.fetch();
    } catch (...) {
      return CurrentDbError(target_.backend);
    }
  }
  return base::OkStatus();
}

}  // namespace data
