#include "frame/share_bus.h"

#include <map>
#include <set>

#include "company/cnn_string.h"
#include "company/company_db.h"
#include "data/value_rows.h"
#include "frame/op_frame.h"
#include "messages/catalogue.h"
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

bool MakeLog(host::ObjectContext& ctx, const std::string& vstrDesc, const std::string& vstrDB,
             std::string& vstrErr) {
  return RunWriter(ctx, "Share_Bus.MakeLog", vstrDB, vstrErr, [&](Call& call) -> Outcome {
    if (!GetUserLang(call.ctx(), call.lang(), call.db(), call.err())) return Outcome::Reported();
    if (!call.ctx().IsInTransaction()) return Outcome::Refused(messages::kNotInTransaction);
    std::string login;
    {
      services::UserService* users = nullptr;
      PLX_ASSIGN_OR_RETURN(host::Instance held,
                           CreateService(call.ctx(), services::kUserServiceProgId,
                                         /*in_transaction=*/true, &users));
      login = users->GetLoginName(call.err());
      if (!call.err().empty()) return Outcome::Reported();
    }
    PLX_RETURN_IF_NOT_OK(call.OpenConnection());
    const base::DateTime now = base::DateTime::Now();
    PLX_RETURN_IF_NOT_OK(
        call.cnn().Execute(data::Sql("Insert Into SM_UseLog(UserName,Date,Component,LogDesc) "
                                     "Values(:user, :at, :component, :desc)")
                               .Bind("user", login)
                               .Bind("at", now.FormatDateTime())
                               .Bind("component", kUseLogComponent)
                               .Bind("desc", vstrDesc)));
    if (host::Effects* effects = call.ctx().effects()) effects->use_log.push_back(vstrDesc);
    return Outcome::Ok();
  });
}

bool GetMachineTime(host::ObjectContext& ctx, bool& vblnMachineTime, const std::string& vstrDB,
                    std::string& vstrErr) {
  return RunWriter(ctx, "Share_Bus.GetMachineTime", vstrDB, vstrErr, [&](Call& call) -> Outcome {
    PLX_RETURN_IF_NOT_OK(call.OpenConnection());
    PLX_ASSIGN_OR_RETURN(
        base::Rowset rs,
        call.cnn().Query(
            data::Sql("Select Value From SM_Config Where ID = :id").Bind("id", "MachineTime"),
            {{"Value", base::FieldType::kText}}));
    PLX_ASSIGN_OR_RETURN(base::Value value, rs.Get(0, "Value"));
    PLX_ASSIGN_OR_RETURN(std::string text, value.AsText());
    vblnMachineTime = text == "1";
    return Outcome::Ok();
  });
}

base::Result<base::Currency> StMeasQty(int32_t vlngArtID, const std::string& vstrMeasID,
                                       base::Currency vcurQty, const std::string& vstrDB) {
  auto convert = [&]() -> base::Result<base::Currency> {
    data::Connection cnn;
    PLX_RETURN_IF_ERROR(company::OpenCompanyDb(vstrDB, nullptr, cnn));
    PLX_ASSIGN_OR_RETURN(
        base::Rowset rs,
        cnn.Query(data::Sql("Select Num,Den From FD_ArtMeas Where ID = :id And MeasID = :meas")
                      .Bind("id", vlngArtID)
                      .Bind("meas", vstrMeasID),
                  {{"Num", base::FieldType::kCurrency}, {"Den", base::FieldType::kCurrency}}));
    PLX_ASSIGN_OR_RETURN(base::Value num, rs.Get(0, "Num"));
    PLX_ASSIGN_OR_RETURN(base::Value den, rs.Get(0, "Den"));
    PLX_ASSIGN_OR_RETURN(base::Currency n, num.AsCurrency());
    PLX_ASSIGN_OR_RETURN(base::Currency d, den.AsCurrency());
    return vcurQty.MulDiv(n, d);
  };
  auto result = convert();
  if (!result.ok()) return company::RaiseAgain(result.err(), "StMeasQty:");
  return result;
}

namespace {

using Factors =
    std::map<std::pair<int32_t, std::string>, std::pair<base::Currency, base::Currency>>;

// The units' factors that exist and are not NULL, by article and unit.
base::Result<Factors> ReadFactors(const std::vector<UnitQty>& lines, const std::string& db) {
  data::Connection cnn;
  PLX_RETURN_IF_ERROR(company::OpenCompanyDb(db, nullptr, cnn));
  std::vector<std::vector<base::Value>> keys;
  std::set<std::pair<int32_t, std::string>> seen;
  for (const UnitQty& l : lines) {
    if (seen.emplace(l.art, l.meas).second) keys.push_back({l.art, l.meas});
  }
  using base::FieldType;
  PLX_ASSIGN_OR_RETURN(
      base::Rowset rs,
      data::QueryRows(cnn,
                      {"Select ID,MeasID,Num,Den From FD_ArtMeas Where (ID, MeasID) In (",
                       ")",
                       {FieldType::kInt, FieldType::kText},
                       true},
                      keys,
                      {{"ID", FieldType::kInt},
                       {"MeasID", FieldType::kText},
                       {"Num", FieldType::kCurrency},
                       {"Den", FieldType::kCurrency}}));
  // A row that cannot be read is left out: its line converts on its own.
  Factors factors;
  for (const auto& row : rs.rows()) {
    auto art = row[0].AsInt();
    auto num = row[2].AsCurrency();
    auto den = row[3].AsCurrency();
    if (art.ok() && num.ok() && den.ok()) factors[{*art, row[1].TextOrEmpty()}] = {*num, *den};
  }
  return factors;
}

}  // namespace

base::Result<std::vector<base::Currency>> StMeasQtys(const std::vector<UnitQty>& lines,
                                                     const std::string& vstrDB, size_t& done) {
  done = 0;
  std::vector<base::Currency> converted;
  if (lines.empty()) return converted;
  // A failure to read the factors is the first line's failure.
  auto factors = ReadFactors(lines, vstrDB);
  if (!factors.ok()) return company::RaiseAgain(factors.err(), "StMeasQty:");
  for (const UnitQty& l : lines) {
    auto found = factors->find({l.art, l.meas});
    base::Result<base::Currency> qty = base::Currency();
    if (found != factors->end()) {
      qty = l.qty.MulDiv(found->second.first, found->second.second);
      if (!qty.ok()) return company::RaiseAgain(qty.err(), "StMeasQty:");
    } else {
      // A line whose factors were not read converts on its own, so that it
      // fails (or succeeds) exactly as StMeasQty does.
      qty = StMeasQty(l.art, l.meas, l.qty, vstrDB);
      if (!qty.ok()) return qty.err();
    }
    converted.push_back(*qty);
    ++done;
  }
  return converted;
}

}  // namespace frame::share_bus
