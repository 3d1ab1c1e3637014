#include "frame/op_frame.h"

#include <new>
#include <stdexcept>

#include "company/company_db.h"
#include "frame/feed.h"
#include "frame/share_bus.h"
#include "messages/catalogue.h"
#include "messages/format_err.h"
#include "messages/showmsg.h"

namespace frame {

base::Status Call::OpenConnection() { return company::OpenCompanyDb(db_, ctx_.enlistment(), cnn_); }

base::Result<base::Rowset> Call::QueryResult(const data::Sql& sql,
                                             const std::vector<base::Field>& fields) {
  base::RowSink* sink = ctx_.TakeResultSink();
  if (sink == nullptr) return cnn_.Query(sql, fields);
  PLX_RETURN_IF_ERROR(sink->Begin(fields));
  PLX_RETURN_IF_ERROR(cnn_.ForEachRow(
      sql, fields, [sink](std::vector<base::Value>& row) { return sink->Row(row); }));
  return base::Rowset(fields);
}

Outcome Call::Refuse(int32_t id, const std::string& param) const {
  return Outcome::Refused(messages::Showmsg(id, lang_, param));
}

Outcome PassWriterGate(Call& call, const WriterGate& gate) {
  call.set_feed_kind(gate.feed_kind);
  if (gate.connect_first) PLX_RETURN_IF_NOT_OK(call.OpenConnection());
  if (gate.language && !share_bus::GetUserLang(call.ctx(), call.lang(), call.db(), call.err())) {
    return Outcome::Reported();
  }
  if (gate.needs_transaction && !call.ctx().IsInTransaction()) {
    return call.Refuse(messages::kMsgNotInTransaction);
  }
  return gate.admit ? gate.admit(call) : Outcome::Ok();
}

Outcome Call::Changed(const std::vector<std::string>& bills) {
  if (feed_kind_ == nullptr) return Outcome::Ok();
  return feed::Record(ctx_, db_, feed_kind_, bills);
}

void FailureExit(Call& call, const Outcome& outcome) {
  switch (outcome.kind()) {
    case Outcome::Kind::kRefused:
      call.err() = outcome.text();
      break;
    case Outcome::Kind::kFault:
      call.err() = messages::FormatErr(call.method(), outcome.err());
      break;
    case Outcome::Kind::kReported:
    case Outcome::Kind::kOk:
      break;
  }
  call.Close();
  call.ctx().SetAbort();
}

Outcome Guarded(const std::function<Outcome()>& body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return Outcome::Fault(base::MakeErr(base::kErrOutOfMemory, "Out of memory"));
  } catch (const std::exception& e) {
    return Outcome::Fault(base::MakeErr(base::kErrInternal, e.what()));
  } catch (...) {
    return Outcome::Fault(base::MakeErr(base::kErrInternal, "unknown failure"));
  }
}

}  // namespace frame
