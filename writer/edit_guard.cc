// The writer's edit guard and the deletion of a bill.
#include "frame/feed.h"
#include "frame/op_frame.h"
#include "frame/share_bus.h"
#include "messages/catalogue.h"
#include "messages/showmsg.h"
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
  return frame::RunWriter(
      ctx, "Plexavo.CanEdit", vstrDB, vstrErr, gate, [&](Call& call) -> Outcome {
        const std::string user = reader::UserNameLookup(ctx, vstrDB, vstrErr);
        if (!vstrErr.empty()) return Outcome::Reported();
        PLX_RETURN_IF_NOT_OK(call.OpenConnection());
        // The header stays locked until the transaction ends, so that the bill
        // cannot be executed, revised or deleted by another call in between.
        PLX_ASSIGN_OR_RETURN(
            base::Rowset rs,
            call.cnn().Query(
                data::Sql(std::string("Select Execer,Maker From MF_OutBill Where "
                                      "BillID = :id") +
                          call.cnn().dialect().ForUpdate())
                    .Bind("id", vstrID),
                {{"Execer", base::FieldType::kText}, {"Maker", base::FieldType::kText}}));
        if (rs.RecordCount() == 0) return call.Refuse(messages::kMsgBillNotFound, vstrID);
        if (!rs.Row(0)[0].IsNull()) return call.Refuse(messages::kMsgExecutedBillLocked, vstrID);
        const base::Value& maker = rs.Row(0)[1];
        if (!maker.IsNull() && maker.TextOrEmpty() != user) {
          bool allowed = false;
          if (!reader::Rights(ctx).AllowEditRight(allowed, vstrDB, vstrErr)) {
            return Outcome::Reported();
          }
          if (!allowed) return call.Refuse(messages::kMsgEditOnlyOwn);
        }
        return Outcome::Ok();
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
