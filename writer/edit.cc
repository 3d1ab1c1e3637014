// Revising a bill: the guard decides whether it may change; then the lines
// are replaced, the header rewritten (possibly under a new number), and the
// revision counted in Version.
#include "frame/feed.h"
#include "frame/op_frame.h"
#include "frame/share_bus.h"
#include "frame/text.h"
#include "messages/catalogue.h"
#include "messages/showmsg.h"
#include "reader/lookups.h"
#include "writer/bill_lines.h"
#include "writer/gate.h"
#include "writer/mf_outbille.h"

namespace writer {

using frame::Call;
using frame::Outcome;

namespace {

// The number the bill carries afterwards: a new one when empty, the caller's
// when free, the old one unchecked.
Outcome Renumber(Call& call, const base::DateTime& date, const std::string& old_id,
                 std::string& new_id) {
  if (new_id.empty()) return DrawNumber(call, date, new_id);
  if (new_id != old_id) return CheckNumberFree(call, new_id);
  return Outcome::Ok();
}

}  // namespace

bool MF_OutBillE::Edit(const std::string& vstrOldID, std::string& vstrNewID,
                       const base::DateTime& vdtmDate, const std::string& vstrOpCate,
                       const std::string& vstrOrdBill, const std::string& vstrOrdSortID,
                       const std::string& vstrProject, const std::string& vstrItem,
                       const std::string& vstrOperator, const std::string& vstrMemo,
                       const std::optional<base::Rowset>& vrstDetail, const std::string& vstrDB,
                       std::string& vstrErr) {
  host::ObjectContext& ctx = GetObjectContext();
  const frame::WriterGate gate = GuardGate(
      [&](const std::string& db, std::string& err) { return CanEdit(vstrOldID, db, err); },
      frame::feed::kRevised);
  return frame::RunWriter(ctx, "Plexavo.Edit", vstrDB, vstrErr, gate, [&](Call& call) -> Outcome {
    const std::string user = reader::UserNameLookup(ctx, vstrDB, vstrErr);
    if (!vstrErr.empty()) return Outcome::Reported();
    bool machine_time = false;
    if (!frame::share_bus::GetMachineTime(ctx, machine_time, vstrDB, vstrErr)) {
      return Outcome::Reported();
    }
    const base::DateTime date = machine_time ? base::DateTime::Now().DateOnly() : vdtmDate;
    // Bound values keep apostrophes as they are; the memo is only trimmed.
    const std::string memo = frame::TrimSpaces(vstrMemo);
    const std::string period = reader::CurPeriodLookup(ctx, vstrDB, vstrErr);
    if (!vstrErr.empty()) return Outcome::Reported();
    if (period.empty()) return call.Refuse(messages::kMsgProductionNotEnabled);
    PLX_RETURN_IF_NOT_OK(CheckBillHeader(call, date, period, vstrNewID));
    PLX_RETURN_IF_NOT_OK(CheckHeaderTexts(
        call, {vstrOrdBill, vstrOrdSortID, vstrOpCate, vstrProject, vstrItem, vstrOperator, memo}));
    PLX_RETURN_IF_NOT_OK(RequireLines(call, vrstDetail));
    const base::Rowset& lines = *vrstDetail;
    PLX_RETURN_IF_NOT_OK(call.OpenConnection());
    PLX_RETURN_IF_NOT_OK(CheckLines(call, lines, LineRules::kRevision));
    std::string dept;
    PLX_RETURN_IF_NOT_OK(CheckOrderLine(call, vstrOrdBill, vstrOrdSortID, dept));
    PLX_RETURN_IF_NOT_OK(Renumber(call, date, vstrOldID, vstrNewID));
    PLX_RETURN_IF_NOT_OK(call.cnn().Execute(
        data::Sql("Delete From MF_OutDetail Where BillID = :id").Bind("id", vstrOldID)));
    PLX_RETURN_IF_NOT_OK(call.cnn().Execute(
        BindHeader("Update MF_OutBill Set BillID = :id, Date = :date, OrdBill = :ord, "
                   "OrdSortID = :line, OpCateID = :opcate, DeptID = :dept, ProjID = :proj, "
                   "ItemID = :item, Notes = :notes, Operator = :operator, Maker = :maker, "
                   "Version = Version + 1 Where BillID = :old",
                   {vstrNewID, date, vstrOrdBill, vstrOrdSortID, vstrOpCate, dept, vstrProject,
                    vstrItem, memo, vstrOperator, user})
            .Bind("old", vstrOldID)));
    PLX_RETURN_IF_NOT_OK(InsertLines(call, vstrNewID, lines));
    call.Close();
    PLX_RETURN_IF_NOT_OK(call.Changed({vstrNewID}));
    std::string log = messages::Showmsg(messages::kMsgLogReviseBill, call.lang(), "") + vstrOldID;
    if (vstrNewID != vstrOldID) {
      log += messages::Showmsg(messages::kMsgWordBecomes, call.lang(), "") + vstrNewID;
    }
    if (!frame::share_bus::MakeLog(ctx, log + "！", vstrDB, vstrErr)) return Outcome::Reported();
    return Outcome::Ok();
  });
}

}  // namespace writer
