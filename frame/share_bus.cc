#include "frame/share_bus.h"

#include "frame/op_frame.h"
#include "services/user_service.h"

namespace frame::share_bus {

bool GetUserLang(host::ObjectContext& ctx, std::string& lang, const std::string& db,
                 std::string& err) {
  return RunService<bool>(
      ctx, "Share_Bus.GetUserLang", db, err, false, [&](Call& call, bool& result) -> Outcome {
        services::UserService* users = nullptr;
        PLX_ASSIGN_OR_RETURN(host::Instance held,
                             CreateService(call.ctx(), services::kUserServiceProgId,
                                           /*in_transaction=*/false, &users));
        result = users->GetLanguage(lang, call.db(), call.err());
        return result ? Outcome::Ok() : Outcome::Reported();
      });
}

}  // namespace frame::share_bus
