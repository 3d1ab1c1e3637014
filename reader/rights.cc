#include "reader/rights.h"

#include "frame/op_frame.h"
#include "services/user_service.h"

namespace reader {

using frame::Call;
using frame::Outcome;

BillRights RightsFromAnswer(const std::string& answer) {
  auto granted = [&](size_t i) { return answer.size() > i && answer[i] == '1'; };
  BillRights r;
  r.read = granted(0);
  r.edit = r.read && granted(1);
  r.exec = r.read && granted(2);
  r.unexec = r.read && granted(3);
  return r;
}

bool SingleRightGranted(const std::string& answer) { return answer == "1"; }

bool Rights::CheckRight(bool& read, bool& edit, bool& exec, bool& unexec, const std::string& db,
                        std::string& err) {
  return frame::RunService<bool>(
      ctx_, "Plexavo.CheckRight", db, err, false, [&](Call& call, bool& result) -> Outcome {
        services::UserService* users = nullptr;
        PLX_ASSIGN_OR_RETURN(host::Instance held,
                             frame::CreateService(call.ctx(), services::kUserServiceProgId,
                                                  /*in_transaction=*/true, &users));
        std::string answer;
        if (!users->GetRights(kBillRightCodes, answer, call.db(), call.err())) {
          return Outcome::Reported();
        }
        BillRights r = RightsFromAnswer(answer);
        read = r.read;
        edit = r.edit;
        exec = r.exec;
        unexec = r.unexec;
        result = true;
        return Outcome::Ok();
      });
}

bool Rights::Flag(bool BillRights::*flag, const char* method, const std::string& db) {
  std::string err;  // the reason is not reported by the single-flag questions
  return frame::RunService<bool>(
      ctx_, method, db, err, false, [&](Call& call, bool& result) -> Outcome {
        BillRights r;
        std::string own_err;
        if (!CheckRight(r.read, r.edit, r.exec, r.unexec, call.db(), own_err)) {
          return Outcome::Reported();
        }
        result = r.*flag;
        return Outcome::Ok();
      });
}

bool Rights::ReadRight(const std::string& db) {
  return Flag(&BillRights::read, "Plexavo.ReadRight", db);
}
bool Rights::EditRight(const std::string& db) {
  return Flag(&BillRights::edit, "Plexavo.EditRight", db);
}
bool Rights::ExecRight(const std::string& db) {
  return Flag(&BillRights::exec, "Plexavo.ExecRight", db);
}
bool Rights::UnExecRight(const std::string& db) {
  return Flag(&BillRights::unexec, "Plexavo.UnExecRight", db);
}

bool Rights::Single(const char* code, const char* method, bool& allowed, const std::string& db,
                    std::string& err) {
  return frame::RunService<bool>(
      ctx_, method, db, err, false, [&](Call& call, bool& result) -> Outcome {
        services::UserService* users = nullptr;
        PLX_ASSIGN_OR_RETURN(host::Instance held,
                             frame::CreateService(call.ctx(), services::kUserServiceProgId,
                                                  /*in_transaction=*/true, &users));
        std::string answer;
        if (!users->GetRights(code, answer, call.db(), call.err())) return Outcome::Reported();
        allowed = SingleRightGranted(answer);
        result = true;
        return Outcome::Ok();
      });
}

bool Rights::AllowEditRight(bool& allowed, const std::string& db, std::string& err) {
  return Single(kEditOthersCode, "Plexavo.AllowEditRight", allowed, db, err);
}

bool Rights::AllowUnExeRight(bool& allowed, const std::string& db, std::string& err) {
  return Single(kUnExecOthersCode, "Plexavo.AllowUnExeRight", allowed, db, err);
}

}  // namespace reader
