#include "reader/lookups.h"

#include "frame/op_frame.h"
#include "schema/tables.h"
#include "services/config_service.h"
#include "services/user_service.h"

namespace reader {

using frame::Call;
using frame::Outcome;

std::string CurPeriodLookup(host::ObjectContext& ctx, const std::string& db, std::string& err) {
  return frame::RunService<std::string>(
      ctx, "Plexavo.CurPreiod", db, err, "", [&](Call& call, std::string& result) -> Outcome {
        services::ConfigService* config = nullptr;
        PLX_ASSIGN_OR_RETURN(host::Instance held,
                             frame::CreateService(call.ctx(), services::kConfigServiceProgId,
                                                  /*in_transaction=*/false, &config));
        std::string period;
        if (!config->GetCurPeriod(schema::kModule, period, call.db(), call.err())) {
          return Outcome::Reported();  // the caller gets the empty text
        }
        result = period;
        return Outcome::Ok();
      });
}

std::string UserNameLookup(host::ObjectContext& ctx, const std::string& db, std::string& err) {
  return frame::RunService<std::string>(
      ctx, "Plexavo.UserName", db, err, "", [&](Call& call, std::string& result) -> Outcome {
        services::UserService* users = nullptr;
        PLX_ASSIGN_OR_RETURN(host::Instance held,
                             frame::CreateService(call.ctx(), services::kUserServiceProgId,
                                                  /*in_transaction=*/true, &users));
        result = users->GetUserName(call.db(), call.err());
        return call.err().empty() ? Outcome::Ok() : Outcome::Reported();
      });
}

}  // namespace reader
