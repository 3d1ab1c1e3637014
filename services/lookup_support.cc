#include "services/lookup_support.h"

#include "company/company_db.h"
#include "messages/format_err.h"

namespace services {

base::Status OpenCompanyDb(host::ObjectContext& ctx, const std::string& method,
                           const std::string& db, data::Connection& cnn) {
  base::Status opened = company::OpenCompanyDb(db, ctx.enlistment(), cnn);
  if (opened.ok()) return opened;
  const base::Err& fault = opened.err();
  return base::Err{fault.number, fault.source, messages::FormatErr(method, fault)};
}

base::Result<base::Rowset> QueryCompany(host::ObjectContext& ctx, const std::string& method,
                                        const std::string& db, const data::Sql& sql,
                                        const std::vector<base::Field>& fields) {
  data::Connection cnn;
  PLX_RETURN_IF_ERROR(OpenCompanyDb(ctx, method, db, cnn));
  return cnn.Query(sql, fields);
}

std::string MissingText(const std::string& zh, const std::string& en, const std::string& key) {
  return zh + " " + key + " 不存在！(" + en + " " + key + " does not exist.)";
}

}  // namespace services
