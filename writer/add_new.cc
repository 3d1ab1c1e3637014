// Creating a bill: every header field and line is checked before anything
// is written; the bill is numbered when the caller leaves the number
// empty, and executed at once on request, all in the caller's transaction.
#include "frame/feed.h"
#include "frame/op_frame.h"
#include "frame/share_bus.h"
#include "frame/text.h"
#include "messages/catalogue.h"
#include "messages/showmsg.h"
#include "reader/rights.h"
#include "schema/tables.h"
#include "services/config_service.h"
#include "writer/bill_lines.h"
#include "writer/gate.h"
#include "writer/mf_outbille.h"

namespace writer {
namespace {

using frame::Call;
using frame::Outcome;

// The method text with the operation's progress marker.
void Mark(Call& call, const std::string& marker) { call.set_method("Plexavo.AddNew" + marker); }

// The settings the new bill needs, from the configuration service.
struct Settings {
  bool machine_time = false;
  std::string period;
  std::string user;
};

Outcome ReadSettings(Call& call, Settings& s) {
  services::ConfigService* config = nullptr;
  PLX_ASSIGN_OR_RETURN(host::Instance held,
                       frame::CreateService(call.ctx(), services::kConfigServiceProgId,
                                            /*in_transaction=*/true, &config));
  std::string values;
  if (!config->GetSettings("MachineTime,AutoExe", values, schema::kModule, s.period, s.user,
                           call.db(), call.err())) {
    return Outcome::Reported();
  }
  // Only the first value counts; execution depends on the caller's flag.
  s.machine_time = values.substr(0, values.find(';')) == "1";
  return Outcome::Ok();
}

// The caller's number when it is free, else a new one.
Outcome NumberBill(Call& call, const base::DateTime& date, std::string& bill_id) {
  return bill_id.empty() ? DrawNumber(call, date, bill_id) : CheckNumberFree(call, bill_id);
}

}  // namespace

bool MF_OutBillE::AddNew(std::string& vstrID, const base::DateTime& vdtmDate,
                         const std::string& vstrOpCate, const std::string& vstrOrdBill,
                         const std::string& vstrOrdSortID, const std::string& vstrProject,
                         const std::string& vstrItem, const std::string& vstrOperator,
                         const std::string& vstrMemo, const std::optional<base::Rowset>& vrstDetail,
                         bool vblnAutoExe, const std::string& vstrDB, std::string& vstrErr) {
  host::ObjectContext& ctx = GetObjectContext();
  const frame::WriterGate gate =
      RightGate(&reader::Rights::EditRight, messages::kMsgNoMaintainRight, frame::feed::kCreated,
                Connect::kFirst);
  return frame::RunWriter(
      ctx, "Plexavo.AddNew#1", vstrDB, vstrErr, gate, [&](Call& call) -> Outcome {
        Settings settings;
        PLX_RETURN_IF_NOT_OK(ReadSettings(call, settings));
        const base::DateTime date =
            settings.machine_time ? base::DateTime::Now().DateOnly() : vdtmDate;
        if (settings.period.empty()) return call.Refuse(messages::kMsgProductionNotEnabled);
        // Bound values keep apostrophes as they are; the memo is only trimmed.
        const std::string memo = frame::TrimSpaces(vstrMemo);
        Mark(call, "#2");
        PLX_RETURN_IF_NOT_OK(CheckBillHeader(call, date, settings.period, vstrID));
        PLX_RETURN_IF_NOT_OK(CheckHeaderTexts(call, {vstrOrdBill, vstrOrdSortID, vstrOpCate,
                                                     vstrProject, vstrItem, vstrOperator, memo}));
        PLX_RETURN_IF_NOT_OK(RequireLines(call, vrstDetail));
        const base::Rowset& lines = *vrstDetail;
        PLX_RETURN_IF_NOT_OK(CheckLines(
            call, lines, vblnAutoExe ? LineRules::kCreationExecuted : LineRules::kCreation));
        Mark(call, "#3");
        std::string dept;
        PLX_RETURN_IF_NOT_OK(CheckOrderLine(call, vstrOrdBill, vstrOrdSortID, dept));
        Mark(call, "#3.5");
        PLX_RETURN_IF_NOT_OK(NumberBill(call, date, vstrID));
        Mark(call, "#4");
        PLX_RETURN_IF_NOT_OK(call.cnn().Execute(BindHeader(
            "Insert Into MF_OutBill(BillID,Date,OrdBill,OrdSortID,OpCateID,DeptID,ProjID,"
            "ItemID,Notes,Operator,Maker) Values(:id, :date, :ord, :line, :opcate, :dept, "
            ":proj, :item, :notes, :operator, :maker)",
            {vstrID, date, vstrOrdBill, vstrOrdSortID, vstrOpCate, dept, vstrProject, vstrItem,
             memo, vstrOperator, settings.user})));
        Mark(call, "#5");
        PLX_RETURN_IF_NOT_OK(InsertLines(call, vstrID, lines, [&](size_t converted) {
          Mark(call, "#6." + std::to_string(converted + 1));
        }));
        Mark(call, "#7");
        if (!frame::share_bus::MakeLog(
                ctx, messages::Showmsg(messages::kMsgLogNewBill, call.lang(), vstrID), vstrDB,
                vstrErr)) {
          return Outcome::Reported();
        }
        PLX_RETURN_IF_NOT_OK(call.Changed({vstrID}));
        if (vblnAutoExe) {
          Mark(call, "#8");
          if (!ExecBill(vstrID, date, vstrDB, vstrErr)) return Outcome::Reported();
        }
        Mark(call, "#9");
        return Outcome::Ok();
      });
}

}  // namespace writer
