// The writer's edit guard and the deletion of a bill.
#include "frame/feed.h"
#include "frame/op_frame.h"
#include "frame/share_bus.h"
#include "messages/catalogue.h"
#include "messages/showmsg.h"
#include "reader/editable.h"
#include "reader/lookups.h"
#include "reader/rights.h"
#include "writer/gate.h"
#include "writer/mf_outbille.h"

namespace writer {

using frame::Call;
using frame::Outcome;

bool MF_OutBillE::CanEdit(const std::string& vstrID, const std::string& vstrDB,
                          std::string& vstrErr) {
  host::ObjectContext& ctx = GetObjectContext();
  // Called only inside Edit and Delete, whose gates took the transaction.
  const frame::WriterGate gate =
      RightGate(&reader::Rights::EditRight, messages::kMsgNoMaintainRight, nullptr);
  return frame::RunWriter(ctx, "Plexavo.CanEdit", vstrDB, vstrErr, gate,
                          [&](Call& call) -> Outcome {
                            const std::string user = reader::UserNameLookup(ctx, vstrDB, vstrErr);
                            if (!vstrErr.empty()) return Outcome::Reported();
                            PLX_RETURN_IF_NOT_OK(call.OpenConnection());
                            // The header stays locked until the transaction ends, so that the bill
                            // cannot be executed, revised or deleted by another call in between.
                            return reader::CheckEditable(call, vstrID, user, /*lock=*/true);
                          });
}

bool MF_OutBillE::CanDelete(const std::string& vstrID, const std::string& vstrDB,
                            std::string& vstrErr) {
  return CanEdit(vstrID, vstrDB, vstrErr);
}

bool MF_OutBillE::Delete(const std::string& vstrID, const std::string& vstrDB,
                         std::string& vstrErr) {
  host::ObjectContext& ctx = GetObjectContext();
  const frame::WriterGate gate =
      GuardGate([&](const std::string& db, std::string& err) { return CanDelete(vstrID, db, err); },
                frame::feed::kDeleted);
  return frame::RunWriter(ctx, "Plexavo.Delete", vstrDB, vstrErr, gate, [&](Call& call) -> Outcome {
    PLX_RETURN_IF_NOT_OK(call.OpenConnection());
    PLX_RETURN_IF_NOT_OK(call.cnn().Execute(
        data::Sql("Delete From MF_OutDetail Where BillID = :id").Bind("id", vstrID)));
    PLX_RETURN_IF_NOT_OK(call.cnn().Execute(
        data::Sql("Delete From MF_OutBill Where BillID = :id").Bind("id", vstrID)));
    call.Close();
    PLX_RETURN_IF_NOT_OK(call.Changed({vstrID}));
    if (!frame::share_bus::MakeLog(
            ctx, messages::Showmsg(messages::kMsgLogDeleteBill, call.lang(), vstrID), vstrDB,
            vstrErr)) {
      return Outcome::Reported();
    }
    return Outcome::Ok();
  });
}

}  // namespace writer
