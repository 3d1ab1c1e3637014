#include "schema/initdb.h"

#include "data/admin.h"
#include "data/connection.h"
#include "schema/migrations.h"

namespace schema {
namespace {

const std::vector<base::Field> kVersionFields = {{"Version", base::FieldType::kInt}};

base::Result<int> ReadVersion(data::Connection& cnn) {
  PLX_ASSIGN_OR_RETURN(
      base::Rowset rs,
      cnn.Query(data::Sql("SELECT MAX(Version) FROM PX_SchemaVersion"), kVersionFields));
  if (rs.RecordCount() == 0 || rs.Row(0)[0].IsNull()) return 0;
  return rs.Row(0)[0].AsInt();
}

}  // namespace

base::Result<InitReport> InitDb(const data::Target& target,
                                const std::function<void(const std::string&)>& progress) {
  PLX_RETURN_IF_ERROR(data::CreateDatabaseIfMissing(target));
  data::Enlistment tx;
  data::Connection cnn;
  PLX_RETURN_IF_ERROR(cnn.Open(target, &tx));
  PLX_RETURN_IF_ERROR(cnn.Execute(data::Sql(kVersionTable)));
  InitReport report;
  PLX_ASSIGN_OR_RETURN(report.from_version, ReadVersion(cnn));
  report.to_version = report.from_version;
  for (const Migration& m : Migrations()) {
    if (m.version <= report.from_version) continue;
    if (progress) progress("applying schema version " + std::to_string(m.version) + ": " + m.what);
    for (const std::string& statement : StatementsFor(m, cnn.dialect())) {
      PLX_RETURN_IF_ERROR(cnn.Execute(data::Sql(statement)));
    }
    PLX_RETURN_IF_ERROR(
        cnn.Execute(data::Sql("INSERT INTO PX_SchemaVersion (Version, Applied) VALUES (:v, :at)")
                        .Bind("v", m.version)
                        .Bind("at", base::DateTime::Now().FormatDateTime())));
    report.to_version = m.version;
  }
  cnn.Close();
  PLX_RETURN_IF_ERROR(tx.Commit());
  return report;
}

base::Result<int> SchemaVersion(const data::Target& target) {
  data::Connection cnn;
  PLX_RETURN_IF_ERROR(cnn.Open(target, nullptr));
  auto version = ReadVersion(cnn);
  if (!version.ok()) return 0;  // no version table yet
  return version;
}

}  // namespace schema
