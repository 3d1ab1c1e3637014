#include "frame/op_frame.h"

#include <new>
#include <stdexcept>

#include "frame/cnn_string.h"
#include "messages/format_err.h"
#include "messages/showmsg.h"

namespace frame {

base::Status Call::OpenConnection() {
  PLX_ASSIGN_OR_RETURN(std::string cnn, GetCnnString(db_));
  return cnn_.Open(cnn, ctx_.enlistment());
}

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
