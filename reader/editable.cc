#include "reader/editable.h"

#include "messages/catalogue.h"
#include "reader/rights.h"

namespace reader {

frame::Outcome CheckEditable(frame::Call& call, const std::string& bill_id, const std::string& user,
                             bool lock) {
  using frame::Outcome;
  PLX_ASSIGN_OR_RETURN(
      base::Rowset rs,
      call.cnn().Query(data::Sql(std::string("Select Execer, Maker From MF_OutBill Where "
                                             "BillID = :id") +
                                 (lock ? call.cnn().dialect().ForUpdate() : ""))
                           .Bind("id", bill_id),
                       {{"Execer", base::FieldType::kText}, {"Maker", base::FieldType::kText}}));
  if (rs.RecordCount() == 0) return call.Refuse(messages::kMsgBillNotFound, bill_id);
  const auto& row = rs.Row(0);
  if (!row[0].IsNull()) return call.Refuse(messages::kMsgExecutedBillLocked, bill_id);
  if (!row[1].IsNull() && row[1].TextOrEmpty() != user) {
    bool allowed = false;
    if (!Rights(call.ctx()).AllowEditRight(allowed, call.db(), call.err())) {
      return Outcome::Reported();
    }
    if (!allowed) return call.Refuse(messages::kMsgEditOnlyOwn);
  }
  return Outcome::Ok();
}

}  // namespace reader
