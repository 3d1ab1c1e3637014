#include "data/connection.h"

#include "data/fault_injection.h"
#include "data/session.h"
#include "data/session_pool.h"
#include "data/stats.h"

namespace data {
namespace {

base::Err NotOpen() {
  return base::MakeErr(3704, "Operation is not allowed when the object is closed.", "Plexavo.Data");
}

// A failure planned by a test (data/fault_injection.h) for this opening.
base::Status InjectedOpenFailure(const Target& target, Enlistment* tx) {
  try {
    MaybeFail(FaultPoint::kOpen, target.backend);
    return base::OkStatus();
  } catch (...) {
    if (tx != nullptr) tx->NoteConflict(CurrentConflict());
    return CurrentDbError(target.backend);
  }
}

}  // namespace

Connection::Connection() = default;

base::Status Connection::Open(const std::string& cnn, Enlistment* tx, OpenMode mode) {
  PLX_ASSIGN_OR_RETURN(Target target, ParseConnectionString(cnn));
  return Open(target, tx, mode);
}

base::Status Connection::Open(const Target& target, Enlistment* tx, OpenMode mode) {
  Close();
  target_ = target;
  dialect_ = Dialect(target_.backend);
  PLX_RETURN_IF_ERROR(InjectedOpenFailure(target_, tx));
  if (tx != nullptr) {
    tx_ = tx;
    PLX_ASSIGN_OR_RETURN(session_, tx->Join(target_));
    return base::OkStatus();
  }
  PLX_ASSIGN_OR_RETURN(own_, SessionPool::Instance().Acquire(target_, mode));
  session_ = own_.get();
  return base::OkStatus();
}

Connection::~Connection() { Close(); }

void Connection::Close() noexcept {
  session_ = nullptr;
  tx_ = nullptr;
  // An autocommit session holds no transaction and can serve another call.
  if (own_) SessionPool::Instance().Release(target_, std::move(own_));
}

base::Result<int64_t> Connection::Execute(const Sql& sql) {
  if (session_ == nullptr) return NotOpen();
  StatementTimer timer;
  CachedStatement* st = nullptr;
  try {
    st = &session_->statements().Get(sql, 0);
    MaybeFail(FaultPoint::kStatement, target_.backend);
    st->st().execute(true);
    const auto changed = static_cast<int64_t>(st->st().get_affected_rows());
    st->Finish();
    return changed;
  } catch (...) {
    return Failed(st);
  }
}

base::Err Connection::Failed(CachedStatement* statement) {
  if (tx_ != nullptr) tx_->NoteConflict(CurrentConflict());
  base::Err err = CurrentDbError(target_.backend);
  if (statement != nullptr) session_->statements().Forget(*statement);
  return err;
}

base::Result<base::Rowset> Connection::Query(const Sql& sql,
                                             const std::vector<base::Field>& fields) {
  base::Rowset rowset(fields);
  PLX_RETURN_IF_ERROR(ForEachRow(sql, fields, [&rowset](std::vector<base::Value>& row) {
    return rowset.AddRow(std::move(row));
  }));
  return rowset;
}

base::Status Connection::ForEachRow(const Sql& sql, const std::vector<base::Field>& fields,
                                    const RowFn& each) {
  if (session_ == nullptr) return NotOpen();
  StatementTimer timer;
  CachedStatement* st = nullptr;
  base::Status read;
  try {
    st = &session_->statements().Get(sql, fields.size());
    MaybeFail(FaultPoint::kStatement, target_.backend);
    bool have = st->st().execute(true);
    std::vector<base::Value> row;
    while (have && read.ok()) {
      read = ReadRow(*st, fields, row);
      if (read.ok()) read = each(row);
      if (read.ok()) have = st->st().fetch();
    }
    st->Finish();
  } catch (...) {
    return Failed(st);
  }
  return read;
}

base::Status Connection::ReadRow(const CachedStatement& st, const std::vector<base::Field>& fields,
                                 std::vector<base::Value>& row) const {
  row.clear();
  row.reserve(fields.size());
  for (size_t i = 0; i < fields.size(); ++i) {
    if (st.null(i)) {
      row.emplace_back();
      continue;
    }
    PLX_ASSIGN_OR_RETURN(base::Value v, dialect_.Decode(fields[i].type, st.column(i)));
    row.push_back(std::move(v));
  }
  return base::OkStatus();
}

}  // namespace data
