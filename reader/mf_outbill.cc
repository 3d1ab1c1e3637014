#include "reader/mf_outbill.h"

#include "frame/op_frame.h"
#include "messages/catalogue.h"
#include "reader/lookups.h"
#include "reader/rights.h"
#include "schema/tables.h"
#include "services/user_service.h"

namespace reader {

using frame::Call;
using frame::Outcome;

namespace {

constexpr bool kInTransaction = true;
constexpr bool kOnItsOwn = false;

}  // namespace

bool MF_OutBill::GetUserLang(std::string& vstrLang, const std::string& vstrDB,
                             std::string& vstrErr) {
  return frame::RunService<bool>(
      GetObjectContext(), "MF_OutBill.GetUserLang", vstrDB, vstrErr, false,
      [&](Call& call, bool& result) -> Outcome {
        services::UserService* users = nullptr;
        PLX_ASSIGN_OR_RETURN(
            host::Instance held,
            frame::CreateService(call.ctx(), services::kUserServiceProgId, kOnItsOwn, &users));
        result = users->GetLanguage(vstrLang, call.db(), call.err());
        return result ? Outcome::Ok() : Outcome::Reported();
      });
}

std::string MF_OutBill::UserName(const std::string& vstrDB, std::string& vstrErr) {
  return UserNameLookup(GetObjectContext(), vstrDB, vstrErr);
}

int32_t MF_OutBill::UserInnerID(const std::string& vstrDB, std::string& vstrErr) {
  return frame::RunService<int32_t>(
      GetObjectContext(), "Plexavo.UserInnerID", vstrDB, vstrErr, 0,
      [&](Call& call, int32_t& result) -> Outcome {
        services::UserService* users = nullptr;
        PLX_ASSIGN_OR_RETURN(
            host::Instance held,
            frame::CreateService(call.ctx(), services::kUserServiceProgId, kInTransaction, &users));
        result = users->GetUserInnerID(call.db(), call.err());
        return call.err().empty() ? Outcome::Ok() : Outcome::Reported();
      });
}

std::string MF_OutBill::CurPeriod(const std::string& vstrDB, std::string& vstrErr) {
  return CurPeriodLookup(GetObjectContext(), vstrDB, vstrErr);
}

std::optional<base::Rowset> MF_OutBill::GetRstUser(const std::string& vstrDB,
                                                   std::string& vstrErr) {
  return frame::RunService<std::optional<base::Rowset>>(
      GetObjectContext(), "Plexavo.GetRstUser", vstrDB, vstrErr, std::nullopt,
      [&](Call& call, std::optional<base::Rowset>& result) -> Outcome {
        services::UserService* users = nullptr;
        PLX_ASSIGN_OR_RETURN(
            host::Instance held,
            frame::CreateService(call.ctx(), services::kUserServiceProgId, kInTransaction, &users));
        result = users->GetUserList(call.db(), call.err());
        return result.has_value() ? Outcome::Ok() : Outcome::Reported();
      });
}

bool MF_OutBill::CheckRight(bool& vblnRead, bool& vblnEdit, bool& vblnExec, bool& vblnUnExec,
                            const std::string& vstrDB, std::string& vstrErr) {
  return Rights(GetObjectContext())
      .CheckRight(vblnRead, vblnEdit, vblnExec, vblnUnExec, vstrDB, vstrErr);
}

bool MF_OutBill::ReadRight(const std::string& vstrDB) {
  return Rights(GetObjectContext()).ReadRight(vstrDB);
}

bool MF_OutBill::EditRight(const std::string& vstrDB) {
  return Rights(GetObjectContext()).EditRight(vstrDB);
}

bool MF_OutBill::ExecRight(const std::string& vstrDB) {
  return Rights(GetObjectContext()).ExecRight(vstrDB);
}

bool MF_OutBill::AddNew(std::string&, const base::DateTime&, const std::string&, const std::string&,
                        const std::string&, const std::string&, const std::string&,
                        const std::string&, const std::string&, const std::optional<base::Rowset>&,
                        bool, const std::string&, std::string& vstrErr) {
  vstrErr = messages::kFunctionKill;
  return false;
}

bool MF_OutBill::Edit(const std::string&, std::string&, const base::DateTime&, const std::string&,
                      const std::string&, const std::string&, const std::string&,
                      const std::string&, const std::string&, const std::string&,
                      const std::optional<base::Rowset>&, const std::string&,
                      std::string& vstrErr) {
  vstrErr = messages::kFunctionKill;
  return false;
}

bool MF_OutBill::Delete(const std::string&, const std::string&, std::string& vstrErr) {
  vstrErr = messages::kFunctionKill;
  return false;
}

bool MF_OutBill::ExecBill(const std::string&, const base::DateTime&, const std::string&,
                          std::string& vstrErr) {
  vstrErr = messages::kFunctionKill;
  return false;
}

bool MF_OutBill::UnExecBill(const std::string&, const std::string&, std::string& vstrErr) {
  vstrErr = messages::kFunctionKill;
  return false;
}

}  // namespace reader
