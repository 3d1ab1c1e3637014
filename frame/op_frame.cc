#include "frame/op_frame.h"

#include <new>
#include <stdexcept>

#include "company/company_db.h"
#include "messages/format_err.h"
#include "messages/showmsg.h"

namespace frame {

base::Status Call::OpenConnection() { return company::OpenCompanyDb(db_, ctx_.enlistment(), cnn_); }

Outcome Call::Refuse(int32_t id, const std::string& param) const {
  return Outcome::Refused(messages::Showmsg(id, lang_, param));
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
