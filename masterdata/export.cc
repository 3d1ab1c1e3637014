// Export of one kind of master data as CSV (see import.h).
#include <memory>
#include <string>
#include <vector>

#include "data/bulk.h"
#include "masterdata/cells.h"
#include "masterdata/csv.h"
#include "masterdata/import.h"
#include "masterdata/kind_sql.h"

namespace masterdata {

base::Result<int64_t> Export(const data::Target& target, const Kind& kind, std::ostream& out,
                             const Progress& progress) {
  PLX_ASSIGN_OR_RETURN(std::unique_ptr<data::BulkSession> session, data::BulkSession::Open(target));
  CsvWriter csv(out);
  std::vector<std::string> cells;
  for (const KindColumn& c : kind.columns) cells.push_back(c.name);
  csv.Write(cells);
  int64_t rows = 0;
  PLX_RETURN_IF_ERROR(session->ForEachRow(data::Sql(ListRows(kind)), ListFields(kind),
                                          [&](const std::vector<base::Value>& row) -> base::Status {
                                            cells.clear();
                                            for (const base::Value& v : row)
                                              cells.push_back(FormatCell(v));
                                            csv.Write(cells);
                                            if (++rows % 4096 == 0 && progress) progress(rows);
                                            return base::OkStatus();
                                          }));
  if (!out) {
    return base::MakeErr(base::kErrInvalidArgument, "cannot write the output", "Plexavo.Export");
  }
  if (progress) progress(rows);
  return rows;
}

}  // namespace masterdata
