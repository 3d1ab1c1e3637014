#include "services/sql_master_services.h"

#include "services/lookup_support.h"

namespace services {
namespace {

using base::FieldType;

// A whole list as a rowset; no rowset and a reason in `err` on failure.
std::optional<base::Rowset> List(host::ObjectContext& ctx, const char* method, const char* sql,
                                 const std::vector<base::Field>& fields, const std::string& db,
                                 std::string& err) {
  auto rs = QueryCompany(ctx, method, db, data::Sql(sql), fields);
  if (!ctx.VoteFor(rs.ok())) {
    err = rs.err().description;
    return std::nullopt;
  }
  return std::move(rs).value();
}

// The Name of row `id` of `table`; "" and the missing text on an unknown id.
// `table` is one of this file's constants, never caller text.
std::string NameOf(host::ObjectContext& ctx, const char* method, const char* table,
                   const std::string& zh, const std::string& en, const std::string& id,
                   const std::string& db, std::string& err) {
  auto rs = QueryCompany(
      ctx, method, db,
      data::Sql(std::string("SELECT Name FROM ") + table + " WHERE ID = :id").Bind("id", id),
      {{"Name", FieldType::kText}});
  if (!rs.ok() || rs->RecordCount() == 0) {
    err = rs.ok() ? MissingText(zh, en, id) : rs.err().description;
    ctx.VoteFor(false);
    return "";
  }
  ctx.VoteFor(true);
  return rs->Row(0)[0].TextOrEmpty();
}

}  // namespace

std::optional<base::Rowset> SqlOperatorService::GetOperatorList(const std::string& db,
                                                                std::string& err) {
  return List(GetObjectContext(), "Plexavo.OperatorService.GetOperatorList",
              "SELECT ID, Name, DeptID FROM FD_Operator ORDER BY ID",
              {{"ID", FieldType::kText}, {"Name", FieldType::kText}, {"DeptID", FieldType::kText}},
              db, err);
}

std::optional<base::Rowset> SqlShopService::GetShopList(const std::string& db, std::string& err) {
  return List(GetObjectContext(), "Plexavo.ShopService.GetShopList",
              "SELECT ID, Name FROM FD_Shop ORDER BY ID",
              {{"ID", FieldType::kText}, {"Name", FieldType::kText}}, db, err);
}

std::string SqlItemService::GetItemName(const std::string& id, const std::string& db,
                                        std::string& err) {
  return NameOf(GetObjectContext(), "Plexavo.ItemService.GetItemName", "FD_Item", "成本项目",
                "Cost item", id, db, err);
}

std::string SqlProjectService::GetProjectName(const std::string& id, const std::string& db,
                                              std::string& err) {
  return NameOf(GetObjectContext(), "Plexavo.ProjectService.GetProjectName", "FD_Project", "项目",
                "Project", id, db, err);
}

}  // namespace services
